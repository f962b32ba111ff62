#include "support/VideoChecks.h"

#include <QFile>
#include <QProcess>
#include <QTest>
#include <QtEndian>

extern "C" {
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
}

#include "panel/CompressorDlg.h"
#include "support/ModalAnswerer.h"

QMap<QString, QString> Probe(const QString& path) {
    QProcess ffprobe;
    ffprobe.start("ffprobe",
                  {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                   QStringLiteral("stream=nb_read_frames,width,height,r_frame_rate,"
                                  "codec_tag_string,codec_name,pix_fmt,duration"),
                   "-of", "default=nw=1", path});
    QMap<QString, QString> fields;
    if (!ffprobe.waitForFinished(60000)) {
        return fields;
    }
    for (const QString& line : QString::fromUtf8(ffprobe.readAllStandardOutput()).split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals > 0) {
            fields[line.left(equals)] = line.mid(equals + 1);
        }
    }
    if (fields.value("nb_read_frames") == "N/A") {
        fields["nb_read_frames"] = "0";
    }
    fields["exit"] = QString::number(ffprobe.exitCode());
    return fields;
}

QStringList TopLevelBoxes(const QString& path) {
    QStringList boxes;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return boxes;
    }
    // Each box starts with its size (32 bits, or 1 and a 64-bit size after the type) and type.
    for (qint64 at = 0; file.seek(at);) {
        const QByteArray header = file.read(16);
        if (header.size() < 8) {
            break;
        }
        const auto word = [&](int offset) {
            return qFromBigEndian<quint32>(header.constData() + offset);
        };
        const quint64 size =
            word(0) == 1 && header.size() == 16 ? (quint64(word(8)) << 32) | word(12) : word(0);
        boxes << QString::fromLatin1(header.mid(4, 4));
        if (size < 8) {
            break;
        }
        at += qint64(size);
    }
    return boxes;
}

QList<QByteArray> Packets(const QString& path) {
    QList<QByteArray> packets;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.toLocal8Bit().constData(), nullptr, nullptr) < 0) {
        return packets;
    }
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    AVPacket* packet = av_packet_alloc();
    while (stream >= 0 && av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == stream) {
            packets << QByteArray(reinterpret_cast<const char*>(packet->data), packet->size);
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&format);
    return packets;
}

void AnswerCompressorWith(ModalAnswerer& answerer, std::function<void(CompressorDlg&)> answer) {
    answerer.SetDialogHandler([answer](QWidget* modal) {
        if (auto* choice = qobject_cast<CompressorDlg*>(modal)) {
            answer(*choice);
        }
    });
}

void PressEnter(CompressorDlg& choice) {
    QTest::keyClick(&choice, Qt::Key_Return);
}
