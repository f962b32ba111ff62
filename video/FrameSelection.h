#pragma once

#include <QString>
#include <optional>
#include <string>

#include "res/ExitCodes.h"
#include "timeline/FrameChoice.h"
#include "video/ModeContext.h"
#include "video/VideoAssembly.h"

class QCommandLineParser;

// The frames a command-line mode's options take: the range (--dir, --start, --end, --gap), the
// rate (--fps), and the choice by when they were taken. Each failure is told in one line on
// standard error and gives its exit code.

// The whole number the option `name` gives, from `minimum` to `maximum`; nothing when it is not
// one.
std::optional<int> IntOption(const QCommandLineParser& parser, const QString& name, int minimum,
                             int maximum);

// The range and rate the command line asks for, the folder and count the settings give where it
// leaves them out; frames chosen by time (`choosing`) need no count.
ExitCode ReadRange(const ModeContext& context, bool choosing, VideoRange& range);

// The settings' values the mode reads, LONGITUDE with solar noon: an exit code when one is bad.
ExitCode JudgeSettings(const ModeContext& context, const FrameChoice& choice);

// The frame folder missing or not read, errno telling why.
ExitCode FailUnreadableFolder(const std::string& frameDir);

// The frames of `range`'s folder chosen by when they were taken, within --start, --end and --gap
// only when they are given; an exit code when the folder cannot be read.
ExitCode ChooseByTime(const ModeContext& context, const FrameChoice& choice, VideoRange& range,
                      ChosenFrames& chosen);

// The frames of a mode that works with their capture times (as the pictures do): the folder, and
// the frames the range options and the time choice take, each with its time.
struct TimedSelection {
    std::string frameDir;  // empty or ends with '/'
    FrameChoice choice;
    ChosenFrames chosen;
};
ExitCode ChooseTimedFrames(const ModeContext& context, TimedSelection& selection);
