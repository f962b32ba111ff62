#include "support/VideoChecks.h"

#include <QProcess>
#include <QTest>

#include "support/ModalAnswerer.h"
#include "video/CompressorDlg.h"

QMap<QString, QString> Probe(const QString& path) {
    QProcess ffprobe;
    ffprobe.start("ffprobe",
                  {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                   "stream=nb_read_frames,width,height,r_frame_rate,codec_tag_string", "-of",
                   "default=nw=1", path});
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

void AnswerCompressorWith(ModalAnswerer& answerer, std::function<void(CCompressorDlg&)> answer) {
    answerer.SetDialogHandler([answer](QWidget* modal) {
        if (auto* choice = qobject_cast<CCompressorDlg*>(modal)) {
            answer(*choice);
        }
    });
}

void PressEnter(CCompressorDlg& choice) {
    QTest::keyClick(&choice, Qt::Key_Return);
}
