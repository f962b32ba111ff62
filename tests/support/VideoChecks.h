#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <functional>

class CCompressorDlg;
class ModalAnswerer;

// What ffprobe reads back from the video's first video stream, by field (nb_read_frames, width,
// height, r_frame_rate, codec_tag_string), with "exit" holding its exit code. An empty stream has
// no frame count to read; it counts as 0.
QMap<QString, QString> Probe(const QString& path);

// The packets of the video's first video stream as the file holds them, in order; empty when the
// file cannot be read.
QList<QByteArray> Packets(const QString& path);

// Answers the compressor choice with `answer`; the video maker itself is left to run.
void AnswerCompressorWith(ModalAnswerer& answerer, std::function<void(CCompressorDlg&)> answer);

// Keeps the preselected compressor, Motion JPEG.
void PressEnter(CCompressorDlg& choice);
