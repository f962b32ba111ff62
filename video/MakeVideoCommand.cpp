#include "video/MakeVideoCommand.h"

#include <unistd.h>
#include <csignal>

#include <QCommandLineParser>
#include <QDate>
#include <QDateTime>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "frames/CaptureTime.h"
#include "frames/FrameFile.h"
#include "platform/ImageCodecModule.h"
#include "platform/LoadableModule.h"
#include "platform/Numbers.h"
#include "res/Strings.h"
#include "video/Deflicker.h"
#include "video/VideoAssembly.h"
#include "video/VideoOutput.h"

namespace {

constexpr int kLargestIndex = INT_MAX - kNoFrames - 1;  // its frame number still fits an int
constexpr char kDefaultCompressor[] = "MJPG";
constexpr char kDefaultMp4Compressor[] = "H264";
constexpr int kBarWidth = 30;
constexpr auto kRedrawPeriod = std::chrono::milliseconds(200);

// Set by SIGINT and SIGTERM: the assembly stops after the current frame and keeps what it wrote.
std::atomic<bool> s_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int) {
    s_interrupted = true;
}

ExitCode Fail(ExitCode code, const std::string& message) {
    std::fprintf(stderr, "vorn: %s\n", message.c_str());
    return code;
}

std::optional<int> IntOption(const QCommandLineParser& parser, const QString& name, int minimum,
                             int maximum) {
    const std::optional<int> value = ParseWholeInt(parser.value(name).toStdString());
    if (!value || *value < minimum || *value > maximum) {
        return std::nullopt;
    }
    return value;
}

// The message for a value of the option `name` that IntOption refuses: a number past `maximum` is
// too large; anything else is not `rule`.
std::string IntOptionTrouble(const QCommandLineParser& parser, const char* name, int maximum,
                             const std::string& rule) {
    const std::string text = parser.value(name).toStdString();
    const std::optional<double> number = ParseWholeNumber(text);
    if (number && *number > maximum) {
        return std::string("--") + name + " " + text + " is too large (at most " +
               std::to_string(maximum) + ")";
    }
    return rule;
}

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

// The settings file's folder and frame count, where the command line leaves them out; frames
// chosen by time need no count.
ExitCode ApplySettingsDefaults(const QCommandLineParser& parser, const MakeVideoDefaults& settings,
                               bool choosing, VideoRange& range) {
    const bool needDir = !parser.isSet("dir");
    const bool needEnd = !parser.isSet("end") && !choosing;
    if (!needDir && !needEnd) {
        return ExitCode::Success;
    }
    if ((needDir && !settings.frameDir) || (needEnd && !settings.frameCount)) {
        return Fail(ExitCode::SettingsMissing,
                    std::string(kCannotFindSettingsMessage) + " (" + settings.trouble + ")");
    }
    if (needDir) {
        range.frameDir = *settings.frameDir;
    }
    if (needEnd) {
        range.endFrame = *settings.frameCount;
    }
    return ExitCode::Success;
}

// The settings' values the run reads, LONGITUDE with solar noon: an exit code when one is bad.
ExitCode JudgeSettings(const MakeVideoDefaults& defaults, const FrameChoice& choice) {
    if (!defaults.badSettings.empty()) {
        return Fail(ExitCode::BadSetting, defaults.badSettings);
    }
    if (choice.dailyAtSolarNoon && !defaults.longitudeTrouble.empty()) {
        return Fail(ExitCode::BadSetting, defaults.longitudeTrouble);
    }
    return ExitCode::Success;
}

// The range the command line asks for; an exit code when it cannot be had.
ExitCode ReadRange(const QCommandLineParser& parser, const MakeVideoDefaults& defaults,
                   bool choosing, VideoRange& range) {
    const std::optional<int> start = IntOption(parser, "start", 0, kLargestIndex);
    const std::optional<int> end = IntOption(parser, "end", 0, kLargestIndex);
    const std::optional<int> gap = IntOption(parser, "gap", 1, INT_MAX);
    const std::optional<double> fps = ParseWholeNumber(parser.value("fps").toStdString());
    const std::string rule = "--start and --end take a whole number from 0, --gap from 1";
    if (!start) {
        return Fail(ExitCode::BadCommandLine,
                    IntOptionTrouble(parser, "start", kLargestIndex, rule));
    }
    if (parser.isSet("end") && !end) {
        return Fail(ExitCode::BadCommandLine, IntOptionTrouble(parser, "end", kLargestIndex, rule));
    }
    if (!gap) {
        return Fail(ExitCode::BadCommandLine, IntOptionTrouble(parser, "gap", INT_MAX, rule));
    }
    if (!fps || !(*fps >= kSlowestFps && *fps <= kFastestFps)) {
        return Fail(ExitCode::BadCommandLine, "--fps takes a number from 0.01 to 1000");
    }
    range.startFrame = *start;
    range.endFrame = end.value_or(0);
    range.gap = *gap;
    range.fps = NearestFrameRate(*fps);
    if (parser.isSet("dir")) {
        range.frameDir = WithTrailingSeparator(parser.value("dir").toStdString());
    }
    return ApplySettingsDefaults(parser, defaults, choosing, range);
}

// The frames of the folder that --start, --end and --gap take, those that are given.
std::optional<std::vector<int>> Candidates(const QCommandLineParser& parser,
                                           const VideoRange& range) {
    std::optional<std::vector<int>> numbers = ListFrameNumbersOfExistingFolder(range.frameDir);
    if (!numbers) {
        return numbers;
    }
    const bool byStart = parser.isSet("start");
    const bool byEnd = parser.isSet("end");
    const bool byGap = parser.isSet("gap");
    std::erase_if(*numbers, [&](int number) {
        const long long index = static_cast<long long>(number) - (kNoFrames + 1);
        return (byStart && index < range.startFrame) || (byEnd && index >= range.endFrame) ||
               (byGap && (index + 1) % range.gap != 0);
    });
    return numbers;
}

// The frame folder missing or not read, errno telling why.
ExitCode FailUnreadableFolder(const std::string& frameDir) {
    return Fail(ExitCode::NoVideoFrame, UnreadableFolderMessage(frameDir));
}

// The frames of the folder chosen by when they were taken; an exit code when the folder cannot be
// read.
ExitCode ChooseByTime(const QCommandLineParser& parser, const FrameChoice& choice,
                      const DayRules& rules, VideoRange& range, ChosenFrames& chosen) {
    const std::optional<std::vector<int>> candidates = Candidates(parser, range);
    if (!candidates) {
        return FailUnreadableFolder(range.frameDir);
    }
    std::string notice;
    chosen = ChooseFolderFrames(range.frameDir, *candidates, choice, rules, notice);
    if (!notice.empty()) {
        std::fprintf(stderr, "vorn: %s\n", notice.c_str());
    }
    range.frameNumbers = chosen.Numbers();
    return ExitCode::Success;
}

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
            return Fail(ExitCode::BadCommandLine, "--output: " + *trouble);
        }
        options.outputName = name;
    }
    options.skipBad = parser.isSet("skip-bad");
    if (parser.isSet("width")) {
        const std::optional<int> width = IntOption(parser, "width", 0, kWidestVideo);
        if (!width || !IsWidthToScaleTo(*width)) {
            return Fail(ExitCode::BadCommandLine,
                        "--width takes a whole number of pixels from 2 to " +
                            std::to_string(kWidestVideo) + ", or 0 for the frames' own width");
        }
        options.width = *width;
    }
    if (parser.isSet("length")) {
        if (parser.isSet("fps")) {
            return Fail(ExitCode::BadCommandLine, "--length and --fps cannot be used together");
        }
        const std::optional<double> length = ParseWholeNumber(parser.value("length").toStdString());
        if (!length || !(*length > 0)) {
            return Fail(ExitCode::BadCommandLine, "--length takes a number of seconds above 0");
        }
        const int frames = FramesTaken(range);
        std::string why;
        if (frames > 0 && !RateForLength(frames, *length, why)) {
            return Fail(ExitCode::BadCommandLine, "--length: " + why);
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
        return Fail(ExitCode::BadCommandLine, "--deflicker-window takes an odd whole number from " +
                                                  std::to_string(kNarrowestDeflickerWindow) +
                                                  " to " + std::to_string(kWidestDeflickerWindow));
    }
    options.deflickerWindow = *window;
    return ExitCode::Success;
}

}  // namespace

InterruptCatcher::InterruptCatcher() {
    s_interrupted = false;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_oldInt);
    sigaction(SIGTERM, &action, &m_oldTerm);
}

InterruptCatcher::~InterruptCatcher() {
    sigaction(SIGINT, &m_oldInt, nullptr);
    sigaction(SIGTERM, &m_oldTerm, nullptr);
}

bool InterruptCatcher::Interrupted() {
    return s_interrupted;
}

ExitCode ExitCodeFor(const AssemblyResult& result) {
    if (result.end == AssemblyEnd::WriteFailed) {
        return ExitCode::VideoNotWritten;
    }
    if (result.end == AssemblyEnd::Cancelled) {
        return ExitCode::VideoCancelled;
    }
    if (result.framesWritten == 0) {
        return ExitCode::NoVideoFrame;
    }
    return result.end == AssemblyEnd::Complete ? ExitCode::Success : ExitCode::VideoStoppedAt;
}

double PlayingRate(const VideoRange& range, int frames) {
    std::string why;
    const std::optional<FrameRate> rate =
        range.options.lengthSeconds > 0 && frames > 0
            ? RateForLength(frames, range.options.lengthSeconds, why)
            : std::nullopt;
    const FrameRate fps = rate.value_or(range.fps);
    return static_cast<double>(fps.num) / fps.den;
}

namespace {

// --make-video and its options, those of the frame choice last.
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

}  // namespace

void AddMakeVideoOptions(QCommandLineParser& parser) {
    parser.addOptions(MakeVideoOptions());
}

QStringList MakeVideoOptionNames() {
    QStringList names;
    for (const QCommandLineOption& option : MakeVideoOptions()) {
        names += option.names();
    }
    return names;
}

ExitCode ChooseTimedFrames(const QCommandLineParser& parser, const MakeVideoDefaults& defaults,
                           TimedSelection& selection) {
    if (const std::optional<std::string> bad =
            ReadFrameChoice(parser, ProjectToday(defaults.dayRules), selection.choice)) {
        return Fail(ExitCode::BadCommandLine, *bad);
    }
    VideoRange range;
    if (const ExitCode code = ReadRange(parser, defaults, true, range); code != ExitCode::Success) {
        return code;
    }
    if (const ExitCode code = JudgeSettings(defaults, selection.choice);
        code != ExitCode::Success) {
        return code;
    }
    selection.frameDir = range.frameDir;
    return ChooseByTime(parser, selection.choice, defaults.dayRules, range, selection.chosen);
}

ExitCode RunMakeVideoCommand(const QCommandLineParser& parser, const MakeVideoDefaults& defaults) {
    FrameChoice choice;
    if (const std::optional<std::string> bad =
            ReadFrameChoice(parser, ProjectToday(defaults.dayRules), choice)) {
        return Fail(ExitCode::BadCommandLine, *bad);
    }
    const bool listing = parser.isSet("list");
    const bool choosing = choice.Any() || listing;
    VideoRange range;
    if (const ExitCode code = ReadRange(parser, defaults, choosing, range);
        code != ExitCode::Success) {
        return code;
    }
    if (const ExitCode code = JudgeSettings(defaults, choice); code != ExitCode::Success) {
        return code;
    }
    if (const ExitCode code = ReadDeflicker(parser, range.options); code != ExitCode::Success) {
        return code;
    }
    ChosenFrames chosen;
    if (choosing) {
        if (const ExitCode code = ChooseByTime(parser, choice, defaults.dayRules, range, chosen);
            code != ExitCode::Success) {
            return code;
        }
    } else if (!IsFolderThere(range.frameDir)) {
        return FailUnreadableFolder(range.frameDir);
    }
    if (const ExitCode code = ReadOutputOptions(parser, range, range.options);
        code != ExitCode::Success) {
        return code;
    }
    if (listing) {
        PrintList(chosen, choice, PlayingRate(range, static_cast<int>(chosen.frames.size())));
        return ExitCode::Success;
    }
    if (choosing && range.frameNumbers.empty()) {
        return Fail(ExitCode::NoVideoFrame, "no frame of " + ShownFolder(range.frameDir) +
                                                " was taken " + ChoiceInWords(choice));
    }
    const std::string name = CompressorName(parser, range.options);
    const Compressor* compressor = FindCompressor(name);
    if (!compressor) {
        return Fail(ExitCode::BadCommandLine,
                    "unknown compressor " + name + " (MJPG, H264 or FMP4)");
    }
    // Without it every frame would look damaged.
    if (const std::optional<std::string> broken = BrokenInstallation({kImageCodecModule})) {
        return Fail(ExitCode::BrokenInstallation, *broken);
    }
    // Caught before the temporary file exists: an interrupt at any moment leaves none behind.
    const InterruptCatcher interrupts;
    VideoAssembly assembly(range);
    if (const std::optional<std::string> failure = assembly.ProbeFirstFrame()) {
        return Fail(ExitCode::NoVideoFrame, *failure);
    }
    if (const std::optional<std::string> failure = assembly.Open(*compressor)) {
        return Fail(
            assembly.CompressorFailed() ? ExitCode::NoCompressor : ExitCode::VideoNotWritten,
            *failure);
    }
    if (s_interrupted) {
        return Fail(ExitCode::VideoCancelled,
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
        return !s_interrupted;
    });
    progress.reset();
    const ExitCode code = ExitCodeFor(result);
    if (code != ExitCode::Success || result.framesLeftOut > 0) {
        Fail(code, ClosingMessage(result, range.frameDir));
    }
    // The video is complete under its name, whatever its hook does; an interrupt ends the hook.
    if (code == ExitCode::Success &&
        !RunHookAndTell(defaults.videoHook,
                        {VideoPath(range.frameDir, result.videoName), std::nullopt,
                         QDateTime::currentMSecsSinceEpoch(), range.frameDir},
                        InterruptCatcher::Interrupted)) {
        return ExitCode::VideoCancelled;
    }
    return code;
}
