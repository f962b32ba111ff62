#pragma once

#include <QStringList>
#include <vector>

#include "res/ExitCodes.h"
#include "video/MakeVideoCommand.h"

class QCommandLineParser;

// `vorn --keogram FILE`, `vorn --startrails FILE` and `vorn --contact-sheet FILE`: a picture of
// the frames that the options of --make-video choose, without a window.

// Adds the three modes and --columns and --tiles; they take --dir, --start, --end, --gap and the
// time options of --make-video.
void AddPicturesOptions(QCommandLineParser& parser);
// The options each of the three takes, itself first: --columns and --tiles with --contact-sheet,
// and the options of --make-video that choose frames.
std::vector<QStringList> PictureModesOptionNames();

// Whether the parsed options ask for a picture.
bool PictureAsked(const QCommandLineParser& parser);

// Makes the picture the parsed options ask for and writes it: into the frame folder, or at FILE's
// path when it holds a '/'. One line on standard output says what it was made of; a failure is
// told on standard error in one line.
ExitCode RunPicturesCommand(const QCommandLineParser& parser, const MakeVideoDefaults& defaults);
