#include "video/MakeVideoCommand.h"

#include <unistd.h>

#include <QCommandLineParser>
#include <QDateTime>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "frames/CaptureTime.h"
#include "frames/FrameFile.h"
#include "platform/ImageCodecModule.h"
#include "platform/InterruptCatcher.h"
#include "platform/LoadableModule.h"
#include "platform/Numbers.h"
#include "res/Strings.h"
#include "video/Deflicker.h"
#include "video/FrameSelection.h"
#include "video/VideoAssembly.h"
#include "video/VideoOutput.h"

namespace {

constexpr char kDefaultCompressor[] = "MJPG";
constexpr char kDefaultMp4Compressor[] = "H264";
constexpr int kBarWidth = 30;
constexpr auto kRedrawPeriod = std::chrono::milliseconds(200);

// A bar on the terminal: percentage, frames per second, time left.
class TerminalProgress {
public:
    void Show(int position, int framesWritten) {
        const auto now = std::chrono::steady_clock::now();
        if (position < VideoAssembly::kProgressRange && now - m_drawn < kRedrawPeriod) {
            return;
        }
        m_drawn = now;
        const double elapsed = std::chrono::duration<double>(now - m_start).count();
        const double fps = elapsed > 0.0 ? framesWritten / elapsed : 0.0;
        const int filled = position * kBarWidth / VideoAssembly::kProgressRange;
        const std::string bar = std::string(filled, '#') + std::string(kBarWidth - filled, '-');
        std::fprintf(stderr, "\r[%s] %3d%%  %6.1f frames/s", bar.c_str(),
                     position / (VideoAssembly::kProgressRange / 100), fps);
        if (position > 0) {
            const int left =
                static_cast<int>(elapsed * (VideoAssembly::kProgressRange - position) / position);
            std::fprintf(stderr, "  %d:%02d left ", left / 60, left % 60);
        }
        std::fflush(stderr);
    }
    ~TerminalProgress() { std::fputc('\n', stderr); }

private:
    const std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point m_drawn;
};

// --list: each chosen frame and when it was taken, then the summary.
void PrintList(const ChosenFrames& chosen, const FrameChoice& choice, double fps) {
    for (const TimedFrame& frame : chosen.frames) {
        std::printf("%s\n", ListLine(frame).c_str());
    }
    std::printf("%s\n", ChoiceSummary(chosen, choice, fps).c_str());
}

// The options that shape the video file (name, width, length) and --skip-bad; an exit code when
// one is refused.
ExitCode ReadOutputOptions(const QCommandLineParser& parser, const VideoRange& range,
                           VideoOptions& options) {
    if (parser.isSet("output")) {
        const std::string name = parser.value("output").toStdString();
        if (const std::optional<std::string> trouble = OutputPathTrouble(name)) {
            return TellFailure(ExitCode::BadCommandLine, "--output: " + *trouble);
        }
        options.outputName = name;
    }
    options.skipBad = parser.isSet("skip-bad");
    if (parser.isSet("width")) {
        const std::optional<int> width = IntOption(parser, "width", 0, kWidestVideo);
        if (!width || !IsWidthToScaleTo(*width)) {
            return TellFailure(ExitCode::BadCommandLine,
                               "--width takes a whole number of pixels from 2 to " +
                                   std::to_string(kWidestVideo) +
                                   ", or 0 for the frames' own width");
        }
        options.width = *width;
    }
    if (parser.isSet("length")) {
        if (parser.isSet("fps")) {
            return TellFailure(ExitCode::BadCommandLine,
                               "--length and --fps cannot be used together");
        }
        const std::optional<double> length = ParseWholeNumber(parser.value("length").toStdString());
        if (!length || !(*length > 0)) {
            return TellFailure(ExitCode::BadCommandLine,
                               "--length takes a number of seconds above 0");
        }
        const int frames = FramesTaken(range);
        std::string why;
        if (frames > 0 && !RateForLength(frames, *length, why)) {
            return TellFailure(ExitCode::BadCommandLine, "--length: " + why);
        }
        options.lengthSeconds = *length;
    }
    return ExitCode::Success;
}

// The compressor asked for, or the output's default: H.264 for MP4, Motion JPEG otherwise.
std::string CompressorName(const QCommandLineParser& parser, const VideoOptions& options) {
    if (parser.isSet("compressor")) {
        return parser.value("compressor").toStdString();
    }
    return ContainerOf(options.outputName) == Container::Mp4 ? kDefaultMp4Compressor
                                                             : kDefaultCompressor;
}

// One line for each frame left out, as it is; over the progress bar when there is one.
void TellLeftOut(const LeftOutFrame& frame, bool overBar) {
    std::fprintf(stderr, "%svorn: left out %s: %s\n", overBar ? "\r\033[K" : "",
                 frame.frameName.c_str(), frame.why.c_str());
}

// The deflicker choices; an exit code when the window is not one the video maker takes.
ExitCode ReadDeflicker(const QCommandLineParser& parser, VideoOptions& options) {
    options.deflicker = parser.isSet("deflicker") || parser.isSet("deflicker-window");
    const std::optional<int> window =
        IntOption(parser, "deflicker-window", kNarrowestDeflickerWindow, kWidestDeflickerWindow);
    if (!window || !IsDeflickerWindow(*window)) {
        return TellFailure(ExitCode::BadCommandLine,
                           "--deflicker-window takes an odd whole number from " +
                               std::to_string(kNarrowestDeflickerWindow) + " to " +
                               std::to_string(kWidestDeflickerWindow));
    }
    options.deflickerWindow = *window;
    return ExitCode::Success;
}

}  // namespace

double PlayingRate(const VideoRange& range, int frames) {
    std::string why;
    const std::optional<FrameRate> rate =
        range.options.lengthSeconds > 0 && frames > 0
            ? RateForLength(frames, range.options.lengthSeconds, why)
            : std::nullopt;
    const FrameRate fps = rate.value_or(range.fps);
    return static_cast<double>(fps.num) / fps.den;
}

QList<QCommandLineOption> MakeVideoOptions() {
    QList<QCommandLineOption> options = {
        {"make-video",
         "Makes a video (output.avi, or --output) in the frame folder from a range of frames, or "
         "from those chosen by when they were taken, without a window, and exits."},
        {"dir", "Frame folder (default: AUTO_START_DIR of the settings file).", "DIR"},
        {"start", "First frame: 0 is pic_10001.jpg (default: 0).", "N", "0"},
        {"end", "End frame, not included (default: AUTO_START_FRAME_COUNT of the settings file).",
         "N"},
        {"gap", "Takes the frames whose number minus 10000 is a multiple of N (default: 1).", "N",
         "1"},
        {"fps", "Frames per second of the video, from 0.01 to 1000 (default: 25).", "F", "25"},
        {"compressor",
         "MJPG keeps the frames as they are (default for .avi), H264 makes a far smaller file "
         "(default for .mp4), FMP4 is MPEG-4 Part 2.",
         "NAME", kDefaultCompressor},
        {"output",
         "Name of the video in the frame folder, or its path (absolute, or relative to the current "
         "folder when it holds a '/'): ending in .avi (default: output.avi) or .mp4 (H.264 in "
         "4:2:0, index in front for browsers).",
         "FILE"},
        {"skip-bad",
         "Leaves out bad frames instead of stopping at them: missing, empty, damaged, nearly black "
         "(mean luma below 10), nearly white (above 245), or a repeat of the frame before. Each is "
         "named on standard error."},
        {"width",
         "Scales the video to W pixels across, keeping the aspect, both sides even (default: the "
         "frames' own width).",
         "W"},
        {"length",
         "Chooses the frame rate so that the video lasts this many seconds (instead of --fps).",
         "SECONDS"},
        {"deflicker",
         "Smooths each frame's brightness toward its neighbours', keeping slow changes such as a "
         "sunset (Motion JPEG frames are corrected in their compressed form and keep their "
         "quality)."},
        {"deflicker-window",
         "Frames around each frame that its brightness is smoothed over, odd, from 3 to 999 "
         "(default: 15); implies --deflicker.",
         "N", QString::number(VideoOptions{}.deflickerWindow)},
    };
    return options + FrameChoiceOptions();
}

namespace {

// What the command asks: the frame choice, the range and its options, and the frames chosen by
// time when a choice is given or asked to be listed.
ExitCode ReadVideoRequest(const ModeContext& context, FrameChoice& choice, VideoRange& range,
                          ChosenFrames& chosen) {
    const QCommandLineParser& parser = context.parser;
    if (const std::optional<std::string> bad = ReadFrameChoice(parser, context.today, choice)) {
        return TellFailure(ExitCode::BadCommandLine, *bad);
    }
    const bool choosing = choice.Any() || parser.isSet("list");
    if (const ExitCode code = ReadRange(context, choosing, range); code != ExitCode::Success) {
        return code;
    }
    if (const ExitCode code = JudgeSettings(context, choice); code != ExitCode::Success) {
        return code;
    }
    if (const ExitCode code = ReadDeflicker(parser, range.options); code != ExitCode::Success) {
        return code;
    }
    if (choosing) {
        if (const ExitCode code = ChooseByTime(context, choice, range, chosen);
            code != ExitCode::Success) {
            return code;
        }
    } else if (!IsFolderThere(range.frameDir)) {
        return FailUnreadableFolder(range.frameDir);
    }
    return ReadOutputOptions(parser, range, range.options);
}

// Makes the video of `range`, with a progress bar on a terminal and a line for each frame left
// out; then ON_VIDEO, which an interrupt ends.
ExitCode AssembleVideo(const ModeContext& context, const VideoRange& range,
                       const Compressor& compressor) {
    // Caught before the temporary file exists: an interrupt at any moment leaves none behind.
    const InterruptCatcher interrupts;
    VideoAssembly assembly(range);
    if (const std::optional<std::string> failure = assembly.ProbeFirstFrame()) {
        return TellFailure(ExitCode::NoVideoFrame, *failure);
    }
    if (const std::optional<std::string> failure = assembly.Open(compressor)) {
        return TellFailure(
            assembly.CompressorFailed() ? ExitCode::NoCompressor : ExitCode::VideoNotWritten,
            *failure);
    }
    if (InterruptCatcher::Interrupted()) {
        return TellFailure(ExitCode::VideoCancelled,
                           "No video created: cancelled before the first frame.");
    }
    std::optional<TerminalProgress> progress;
    if (::isatty(STDERR_FILENO)) {
        progress.emplace();
    }
    const AssemblyResult result = assembly.Run([&](const VideoAssembly::Pass& pass) {
        if (pass.leftOut) {
            TellLeftOut(*pass.leftOut, progress.has_value());
        }
        if (progress) {
            progress->Show(pass.position, pass.framesWritten);
        }
        return !InterruptCatcher::Interrupted();
    });
    progress.reset();
    const ExitCode code = ExitCodeFor(result);
    if (code != ExitCode::Success || result.framesLeftOut > 0) {
        TellFailure(code, ClosingMessage(result, range.frameDir));
    }
    // The video is complete under its name, whatever its hook does; an interrupt ends the hook.
    if (code == ExitCode::Success &&
        !RunHookAndTell(context.videoHook,
                        {VideoPath(range.frameDir, result.videoName), std::nullopt,
                         QDateTime::currentMSecsSinceEpoch(), range.frameDir},
                        InterruptCatcher::Interrupted)) {
        return ExitCode::VideoCancelled;
    }
    return code;
}

}  // namespace

ExitCode RunMakeVideoCommand(const ModeContext& context) {
    FrameChoice choice;
    VideoRange range;
    ChosenFrames chosen;
    if (const ExitCode code = ReadVideoRequest(context, choice, range, chosen);
        code != ExitCode::Success) {
        return code;
    }
    if (context.parser.isSet("list")) {
        PrintList(chosen, choice, PlayingRate(range, static_cast<int>(chosen.frames.size())));
        return ExitCode::Success;
    }
    if (choice.Any() && range.frameNumbers.empty()) {
        return TellFailure(ExitCode::NoVideoFrame, "no frame of " + ShownFolder(range.frameDir) +
                                                       " was taken " + ChoiceInWords(choice));
    }
    const std::string name = CompressorName(context.parser, range.options);
    const Compressor* compressor = FindCompressor(name);
    if (!compressor) {
        return TellFailure(ExitCode::BadCommandLine,
                           "unknown compressor " + name + " (MJPG, H264 or FMP4)");
    }
    // Without it every frame would look damaged.
    if (const std::optional<std::string> broken = BrokenInstallation({kImageCodecModule})) {
        return TellFailure(ExitCode::BrokenInstallation, *broken);
    }
    return AssembleVideo(context, range, *compressor);
}
