#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <functional>

class CompressorDlg;
class ModalAnswerer;

// What ffprobe reads back from the video's first video stream, by field (nb_read_frames, width,
// height, r_frame_rate, codec_tag_string, codec_name, pix_fmt, duration), with "exit" holding its
// exit code. An empty stream has
// no frame count to read; it counts as 0.
QMap<QString, QString> Probe(const QString& path);

// The types of the boxes at the top of an MP4 file, in order ("ftyp", "moov", "mdat", ...).
QStringList TopLevelBoxes(const QString& path);

// The packets of the video's first video stream as the file holds them, in order; empty when the
// file cannot be read.
QList<QByteArray> Packets(const QString& path);

// Answers the compressor choice with `answer`; the video maker itself is left to run.
void AnswerCompressorWith(ModalAnswerer& answerer, std::function<void(CompressorDlg&)> answer);

// Keeps the preselected compressor, Motion JPEG.
void PressEnter(CompressorDlg& choice);
