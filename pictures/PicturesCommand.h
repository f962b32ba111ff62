#pragma once

#include <QCommandLineOption>
#include <QList>

#include "res/ExitCodes.h"
#include "video/ModeContext.h"

// `vorn --keogram FILE`, `vorn --startrails FILE` and `vorn --contact-sheet FILE`: a picture of
// the frames that the options of --make-video choose, without a window.

// The three modes and --columns and --tiles, a contact sheet's; they take --dir, --start, --end,
// --gap and the time options of --make-video too.
QList<QCommandLineOption> PicturesOptions();

// Makes the picture the parsed options ask for and writes it: into the frame folder, or at FILE's
// path when it holds a '/'. One line on standard output says what it was made of; a failure is
// told on standard error in one line.
ExitCode RunPicturesCommand(const ModeContext& context);
