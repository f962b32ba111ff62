#pragma once

#include <QCommandLineOption>
#include <QList>

#include "res/ExitCodes.h"
#include "video/ModeContext.h"
#include "video/VideoAssembly.h"

// `vorn --make-video`: makes output.avi from a range of frames, or from the frames chosen by when
// they were taken, without a window, for machines with no screen. It runs the video maker's own
// assembly and ends with an exit code.

// --make-video and its options (--dir, --start, --end, --gap, --fps, --compressor, ..., and those
// of the frame choice last).
QList<QCommandLineOption> MakeVideoOptions();

// Makes the video the parsed options ask for, or with --list prints the frames it would take.
// Options left out take the settings' values in `context` and the window's defaults (start 0, gap
// 1, 25 frames a second); with a choice by time the frames are those of the whole folder, within
// --start, --end and --gap only when they are given. A progress bar goes to standard error when it
// is a terminal; a failure is told there in one line.
ExitCode RunMakeVideoCommand(const ModeContext& context);

// The rate a video of `frames` frames plays at: the range's, or the one its options' length gives.
double PlayingRate(const VideoRange& range, int frames);
