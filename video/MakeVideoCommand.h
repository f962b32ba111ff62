#pragma once

#include <QString>
#include <QStringList>
#include <csignal>
#include <optional>
#include <string>

#include "hooks/Hook.h"
#include "res/ExitCodes.h"
#include "timeline/FrameChoice.h"
#include "video/VideoAssembly.h"

class QCommandLineParser;

// `vorn --make-video`: makes output.avi from a range of frames, or from the frames chosen by when
// they were taken, without a window, for machines with no screen. It runs the video maker's own
// assembly and ends with an exit code.

// Adds --make-video and its options (--dir, --start, --end, --gap, --fps, --compressor, ..., and
// those of the frame choice).
void AddMakeVideoOptions(QCommandLineParser& parser);
// The options --make-video takes, itself first, as AddMakeVideoOptions adds them.
QStringList MakeVideoOptionNames();

// What the settings file gives for options left out: its frame folder and frame count, each empty
// when the file lacks it (or the count is not valid), and what is wrong with the file (empty when
// nothing is); and where its days start and its longitude, for frames chosen by time.
struct MakeVideoDefaults {
    std::optional<std::string> frameDir;
    std::optional<int> frameCount;
    std::string trouble;
    DayRules dayRules = {};
    // ON_VIDEO, run once the video is complete (and waited for); none without a command.
    Hook videoHook;
    // What is wrong with the values of the keys the mode reads, and with LONGITUDE, which solar
    // noon needs; each empty when nothing is.
    std::string badSettings;
    std::string longitudeTrouble;
};

// Makes the video the parsed options ask for, or with --list prints the frames it would take.
// Options left out take `defaults` and the window's defaults (start 0, gap 1, 25 frames a second);
// with a choice by time the frames are those of the whole folder, within --start, --end and --gap
// only when they are given. A progress bar goes to standard error when it is a
// terminal; a failure is told there in one line.
ExitCode RunMakeVideoCommand(const QCommandLineParser& parser, const MakeVideoDefaults& defaults);

// The frames of a command that works with their capture times (as the pictures do): the folder,
// and the frames the range options (--dir, --start, --end, --gap, each only when given) and the
// time choice take, each with its time. A failure is told in one line on standard error.
struct TimedSelection {
    std::string frameDir;  // empty or ends with '/'
    FrameChoice choice;
    ChosenFrames chosen;
};
ExitCode ChooseTimedFrames(const QCommandLineParser& parser, const MakeVideoDefaults& defaults,
                           TimedSelection& selection);

// Catches SIGINT and SIGTERM for the object's life, so that an assembly stops after its current
// frame instead of the process ending with its temporary file, and a hook running is ended.
class InterruptCatcher {
public:
    InterruptCatcher();
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

    // Whether one came since the catcher was made.
    static bool Interrupted();

private:
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
};

// The exit code for how an assembly ended.
ExitCode ExitCodeFor(const AssemblyResult& result);

// The rate a video of `frames` frames plays at: the range's, or the one its options' length gives.
double PlayingRate(const VideoRange& range, int frames);
