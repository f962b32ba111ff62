#include "daily/DailyVideos.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QDateTime>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "daily/DayRecord.h"
#include "daily/Retention.h"
#include "frames/AttemptRecord.h"
#include "frames/CaptureTime.h"
#include "frames/DayFiles.h"
#include "frames/FrameFile.h"
#include "hooks/Hook.h"
#include "pictures/Pictures.h"
#include "platform/Clock.h"
#include "platform/ImageCodecModule.h"
#include "platform/InterruptCatcher.h"
#include "platform/LoadableModule.h"
#include "platform/Numbers.h"
#include "platform/PosixFiles.h"
#include "platform/Tell.h"
#include "platform/ThreadBudget.h"
#include "session/VideoOptionsStore.h"
#include "timeline/FrameChoice.h"
#include "video/MakeVideoCommand.h"
#include "video/VideoAssembly.h"

namespace {

constexpr char kLockName[] = ".vorn-daily.lock";
constexpr char kCompressor[] = "H264";
constexpr int kNiceness = 10;
// ioprio_set(2)'s values, which the C library does not declare.
constexpr int kIoPriorityOfProcess = 1;
constexpr int kIoClassIdle = 3;
constexpr int kIoClassShift = 13;

// Lowers the process's CPU priority and I/O class, so that a capture in the same folder keeps its
// pace; threads made afterwards (the decoders', the encoder's) inherit both. A refusal is no
// reason to stop.
void StepAside() {
    errno = 0;
    const int niceness = ::getpriority(PRIO_PROCESS, 0);
    if (errno == 0 && niceness < kNiceness) {
        ::setpriority(PRIO_PROCESS, 0, kNiceness);
    }
    ::syscall(SYS_ioprio_set, kIoPriorityOfProcess, 0, kIoClassIdle << kIoClassShift);
}

// x264 holds about 7 MB for each 1080p frame it plans over: its own 40 take a day's run past
// 400 MB, 15 keep it near 250 MB.
constexpr int kLookAheadFrames = 15;

std::string DayVideoPath(const std::string& frameDir, const QDate& day) {
    return DayFilePath(frameDir, day, kDayVideoEnding);
}

// The pictures of a day beside its video: days/YYYY-MM-DD-keogram.jpg and -sheet.jpg.
struct DayPicture {
    const char* ending;
    const char* name;  // as the lines say it
    MadePicture (*make)(const std::string& frameDir, const std::vector<TimedFrame>& frames);
};

MadePicture MakeHourlySheet(const std::string& frameDir, const std::vector<TimedFrame>& frames) {
    return MakeContactSheet(frameDir, frames, 0, kDefaultColumns);
}

constexpr DayPicture kDayPictures[] = {
    {kDayKeogramEnding, "keogram", MakeKeogram},
    {kDaySheetEnding, "contact sheet", MakeHourlySheet},
};

std::string DayPicturePath(const std::string& frameDir, const QDate& day,
                           const DayPicture& picture) {
    return DayFilePath(frameDir, day, picture.ending);
}

bool Exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

// The lock that makes one run at a time work on a folder: held until the object goes.
class FolderLock {
public:
    enum class Taken { Yes, Busy, Failed };

    // Takes the lock file in `daysDir`, making the folder when it is missing; errno tells why it
    // failed.
    Taken Take(const std::string& daysDir) {
        if (::mkdir(daysDir.c_str(), 0777) != 0 && errno != EEXIST) {
            return Taken::Failed;
        }
        m_fd.Reset(::open((daysDir + kLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
        if (!m_fd.IsOpen()) {
            return Taken::Failed;
        }
        if (::flock(m_fd.Get(), LOCK_EX | LOCK_NB) != 0) {
            return errno == EWOULDBLOCK ? Taken::Busy : Taken::Failed;
        }
        return Taken::Yes;
    }

private:
    UniqueFd m_fd;
};

// What a run works with.
struct DailyRun {
    std::string frameDir;  // empty or ends with '/'
    QDate today;
    std::optional<int> keepFramesDays;
    VideoOptions options;
    bool listing = false;
    // ON_VIDEO after each day's video, ON_DAY once the day is complete.
    Hook videoHook;
    Hook dayHook;
};

// What a day's hooks are told: its video, complete under its name.
HookFile DayFile(const DailyRun& run, const QDate& day) {
    return {DayVideoPath(run.frameDir, day), std::nullopt, QDateTime::currentMSecsSinceEpoch(),
            run.frameDir};
}

// The frames the video holds, as its record lists them.
std::vector<RecordedFrame> RecordedFrames(const AssemblyResult& result) {
    std::vector<RecordedFrame> frames;
    frames.reserve(result.held.size());
    for (const HeldFrame& held : result.held) {
        frames.push_back({FrameFileName(held.number), held.file});
    }
    return frames;
}

// What a run came to, for its record: its first failure with the line that told it, and the days
// it made.
struct RunOutcome {
    ExitCode code = ExitCode::Success;
    std::string line;
    int daysMade = 0;

    // Keeps `told`, a code whose line was the last told, when it is the run's first failure.
    void Keep(ExitCode told) {
        if (code == ExitCode::Success && told != ExitCode::Success) {
            code = told;
            line = LastLineTold();
        }
    }
    // The record's line for a run that ended with `result`.
    std::string Message(ExitCode result) const {
        if (result == ExitCode::VideoCancelled) {
            return "interrupted";
        }
        if (result != ExitCode::Success) {
            return line;
        }
        return daysMade == 0
                   ? "nothing to make"
                   : "made " + std::to_string(daysMade) + (daysMade == 1 ? " day" : " days");
    }
};

// Makes the video of `day` from its frames `numbers`, with its record: the day's line, or a
// failure's.
ExitCode MakeDayVideo(const DailyRun& run, const QDate& day, const std::vector<int>& numbers,
                      const Compressor& compressor) {
    VideoRange range;
    range.frameDir = run.frameDir;
    range.frameNumbers = numbers;
    range.options = run.options;
    range.options.outputName = DayVideoPath(run.frameDir, day);
    const std::string name = DayName(day);
    VideoAssembly assembly(range);
    // A day is made when its video is there: never a part of one.
    assembly.KeepCancelled(false);
    assembly.RecordHeldFrames(true);
    if (const std::optional<std::string> failure = assembly.ProbeFirstFrame()) {
        return TellFailure(ExitCode::NoVideoFrame, name + ": " + *failure);
    }
    if (const std::optional<std::string> failure = assembly.Open(compressor)) {
        return TellFailure(
            assembly.CompressorFailed() ? ExitCode::NoCompressor : ExitCode::VideoNotWritten,
            name + ": " + *failure);
    }
    const AssemblyResult result =
        assembly.Run([](const VideoAssembly::Pass&) { return !InterruptCatcher::Interrupted(); });
    const ExitCode code = ExitCodeFor(result);
    if (code == ExitCode::VideoCancelled) {
        return TellFailure(code, name + ": interrupted; the day has no video yet");
    }
    if (code != ExitCode::Success) {
        return TellFailure(code, name + ": " + ClosingMessage(result, run.frameDir));
    }
    if (const int error = WriteDayRecord(run.frameDir, day, RecordedFrames(result))) {
        return TellFailure(ExitCode::VideoNotWritten,
                           name + ": cannot write " +
                               DayFilePath(run.frameDir, day, kDayRecordEnding) + " (" +
                               std::strerror(error) +
                               "); the day's frames are kept until its "
                               "video is made again");
    }
    const double fps = PlayingRate(range, FramesTaken(range));
    std::printf("%s: %s frames, %s left out, %s\n", name.c_str(),
                GroupedDigits(result.framesWritten).c_str(),
                GroupedDigits(result.framesLeftOut).c_str(),
                LengthText(result.framesWritten / fps).c_str());
    std::fflush(stdout);
    return ExitCode::Success;
}

// Makes `picture` of `day` from its frames: its line on standard output, or a failure's on
// standard error.
ExitCode MakeDayPicture(const DailyRun& run, const QDate& day,
                        const std::vector<TimedFrame>& frames, const DayPicture& picture) {
    const std::string name = DayName(day);
    const MadePicture made = picture.make(run.frameDir, frames);
    if (made.image.empty()) {
        return TellFailure(ExitCode::NoVideoFrame, name + ": no " + picture.name +
                                                       ": no frame of the day could be used (" +
                                                       LeftOutInWords(made) + ")");
    }
    const std::string path = DayPicturePath(run.frameDir, day, picture);
    if (const int error = WritePicture(path, made.image)) {
        return TellFailure(ExitCode::VideoNotWritten,
                           name + ": cannot write " + path + " (" + std::strerror(error) + ")");
    }
    std::printf("%s: %s of %s frames, %s\n", name.c_str(), picture.name,
                GroupedDigits(made.framesUsed).c_str(), LeftOutInWords(made).c_str());
    std::fflush(stdout);
    return ExitCode::Success;
}

// Makes the pictures `day` lacks; the first failure's exit code, kept in `outcome` too.
ExitCode MakeDayPictures(const DailyRun& run, const QDate& day,
                         const std::vector<TimedFrame>& frames, RunOutcome& outcome) {
    ExitCode first = ExitCode::Success;
    for (const DayPicture& picture : kDayPictures) {
        if (Exists(DayPicturePath(run.frameDir, day, picture))) {
            continue;
        }
        const ExitCode code = MakeDayPicture(run, day, frames, picture);
        outcome.Keep(code);
        if (first == ExitCode::Success) {
            first = code;
        }
    }
    return first;
}

// The frames of `timed` (ascending numbers) whose numbers are `numbers` (ascending).
std::vector<TimedFrame> FramesNumbered(const std::vector<TimedFrame>& timed,
                                       const std::vector<int>& numbers) {
    std::vector<TimedFrame> frames;
    auto next = timed.begin();
    for (const int number : numbers) {
        next = std::lower_bound(next, timed.end(), number,
                                [](const TimedFrame& frame, int n) { return frame.number < n; });
        if (next != timed.end() && next->number == number) {
            frames.push_back(*next);
        }
    }
    return frames;
}

// Makes what the closed `day` lacks: its video, then its keogram and contact sheet, each hook
// once its files are there. The day's code, or VideoCancelled when the run is to stop; a failure
// kept in `outcome` too.
ExitCode MakeDay(const DailyRun& run, const QDate& day, const std::vector<int>& numbers,
                 const std::vector<TimedFrame>& timed, const Compressor& compressor,
                 RunOutcome& outcome) {
    const bool videoThere = Exists(DayVideoPath(run.frameDir, day));
    ExitCode code = videoThere ? ExitCode::Success : MakeDayVideo(run, day, numbers, compressor);
    if (code == ExitCode::VideoCancelled || InterruptCatcher::Interrupted()) {
        return ExitCode::VideoCancelled;
    }
    outcome.Keep(code);
    if (!videoThere && code == ExitCode::Success &&
        !RunHookAndTell(run.videoHook, DayFile(run, day), InterruptCatcher::Interrupted)) {
        return ExitCode::VideoCancelled;
    }
    // The pictures of a day come with its video, so that its frames are kept until both are made.
    if (Exists(DayVideoPath(run.frameDir, day))) {
        const ExitCode pictures =
            MakeDayPictures(run, day, FramesNumbered(timed, numbers), outcome);
        code = code == ExitCode::Success ? pictures : code;
    }
    // The day is complete once its video and pictures are there: ON_DAY comes last.
    if (code == ExitCode::Success &&
        !RunHookAndTell(run.dayHook, DayFile(run, day), InterruptCatcher::Interrupted)) {
        return ExitCode::VideoCancelled;
    }
    return code;
}

// Makes (or lists) the videos of closed days that have none, then the keogram and contact sheet
// of each closed day whose video is there and that lacks them, in date order; the first
// failure's exit code, the other days made all the same. `listed` receives the days listed;
// `outcome` the first failure and the days made.
ExitCode MakeMissingDays(const DailyRun& run, const std::map<QDate, std::vector<int>>& byDay,
                         const std::vector<TimedFrame>& timed, std::vector<QDate>& listed,
                         RunOutcome& outcome) {
    const Compressor* compressor = FindCompressor(kCompressor);
    ExitCode first = ExitCode::Success;
    for (const auto& [day, numbers] : byDay) {
        if (day >= run.today || DayIsMade(run.frameDir, day)) {
            continue;
        }
        if (run.listing) {
            const bool videoThere = Exists(DayVideoPath(run.frameDir, day));
            const std::string count = GroupedDigits(static_cast<long long>(numbers.size()));
            std::printf("%s: would make %s keogram and contact sheet\n", DayName(day).c_str(),
                        videoThere ? "its" : ("a video of " + count + " frames, its").c_str());
            listed.push_back(day);
            continue;
        }
        const ExitCode code = MakeDay(run, day, numbers, timed, *compressor, outcome);
        if (code == ExitCode::VideoCancelled) {
            return code;
        }
        outcome.daysMade += code == ExitCode::Success ? 1 : 0;
        if (first == ExitCode::Success) {
            first = code;
        }
    }
    return first;
}

// The run's folder, day rules and options from the command line and the settings file.
ExitCode ReadDailyRun(const ModeContext& context, DailyRun& run) {
    if (!context.frameDir) {
        return context.TellMissingSettings();
    }
    run.frameDir = *context.frameDir;
    if (context.badSettings) {
        return TellFailure(ExitCode::BadSetting, *context.badSettings);
    }
    run.today = context.today;
    run.keepFramesDays = context.keepFramesDays;
    run.options = ReadVideoOptions();
    run.options.encoderThreads = ThreadsLeavingOneCore();
    run.options.lookAheadFrames = kLookAheadFrames;
    run.listing = context.parser.isSet("list");
    run.videoHook = context.videoHook;
    run.dayHook = context.dayHook;
    return ExitCode::Success;
}

// RunDailyVideos but for its record; `outcome` receives what the days came to.
ExitCode MakeDailyVideos(const ModeContext& context, RunOutcome& outcome) {
    DailyRun run;
    if (const ExitCode code = ReadDailyRun(context, run); code != ExitCode::Success) {
        return code;
    }
    const std::optional<std::vector<int>> numbers = ListFrameNumbersOfExistingFolder(run.frameDir);
    if (!numbers) {
        return TellFailure(ExitCode::NoVideoFrame, UnreadableFolderMessage(run.frameDir));
    }
    FolderLock lock;
    if (!run.listing) {
        const std::string daysDir = run.frameDir + kDaysFolder;
        switch (lock.Take(daysDir)) {
            case FolderLock::Taken::Busy:
                return TellFailure(ExitCode::DailyRunBusy,
                                   "another --daily-videos run is at work on " +
                                       ShownFolder(run.frameDir) + "; this one stops");
            case FolderLock::Taken::Failed:
                return TellFailure(
                    ExitCode::VideoNotWritten,
                    "cannot lock " + daysDir + kLockName + " (" + std::strerror(errno) + ")");
            case FolderLock::Taken::Yes:
                break;
        }
        // Without it every frame would look damaged.
        if (const std::optional<std::string> broken = BrokenInstallation({kImageCodecModule})) {
            return TellFailure(ExitCode::BrokenInstallation, *broken);
        }
    }
    const FrameTimes times = ReadFrameTimes(run.frameDir, *numbers);
    if (const std::string notice = FileTimesNotice(times); !notice.empty()) {
        TellLine(notice);
    }
    const std::map<QDate, std::vector<int>> byDay = FramesByDay(times.frames, context.dayRules);
    // Caught before any temporary file exists: an interrupt at any moment leaves none behind.
    const InterruptCatcher interrupts;
    std::vector<QDate> listed;
    const ExitCode code = MakeMissingDays(run, byDay, times.frames, listed, outcome);
    if (code != ExitCode::VideoCancelled && run.keepFramesDays) {
        ApplyRetention({run.frameDir, run.today, *run.keepFramesDays, run.listing}, byDay, listed);
    }
    return code;
}

}  // namespace

QCommandLineOption DailyVideosOption() {
    return {"daily-videos",
            "Makes a video (H.264 MP4) of every closed day that has frames and no video "
            "yet, days/YYYY-MM-DD.mp4 in the frame folder (--dir, or AUTO_START_DIR), "
            "with the video options of the settings file, at a low priority, and its keogram and "
            "contact sheet beside it (YYYY-MM-DD-keogram.jpg, YYYY-MM-DD-sheet.jpg); then, with "
            "KEEP_FRAMES_DAYS=N, deletes the frames of days more than N days old that a video it "
            "made provably holds: each video's record, YYYY-MM-DD.record beside it, lists the "
            "video's and each frame's size and SHA-256 digest. With --list it prints what it "
            "would make and delete."};
}

ExitCode RunDailyVideos(const ModeContext& context) {
    StepAside();
    RunOutcome outcome;
    const ExitCode code = MakeDailyVideos(context, outcome);
    // A failure before the days: its line is the last told.
    outcome.Keep(code);
    // A run refused as busy leaves the record to the run at work; a listing makes nothing.
    if (context.frameDir && code != ExitCode::DailyRunBusy && !context.parser.isSet("list")) {
        RecordAttempt(*context.frameDir, AttemptKind::DailyRun,
                      {DefaultClock().WallMs(), ToInt(code), outcome.Message(code)});
    }
    return code;
}
