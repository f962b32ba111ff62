#include "capture/CaptureLoop.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QString>
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <opencv2/imgproc.hpp>
#include <optional>

#include "capture/CaptureShared.h"
#include "capture/DeviceLock.h"
#include "capture/FramePacer.h"
#include "frames/AttemptRecord.h"
#include "frames/FrameFile.h"
#include "platform/Clock.h"
#include "platform/PosixFiles.h"
#include "res/ExitCodes.h"
#include "res/Strings.h"

namespace {

constexpr int kPreviewWidth = 640;
constexpr int kPreviewHeight = 480;
// Waits are cut into slices this long so that a cleared run switch is seen soon; a stop request
// wakes them at once.
constexpr std::chrono::milliseconds kWaitSlice{100};
// A pass sleeps this long, or the long one when the delay is longer than kLongDelay.
constexpr std::chrono::milliseconds kPassSleep{10};
constexpr std::chrono::milliseconds kLongPassSleep{1000};
constexpr Seconds kLongDelay{1000.0f};

// A trouble the run tells once when it begins, not at every pass while it lasts.
class TroubleNotice {
public:
    // Whether `trouble`, true while it lasts, has just begun and is to be told.
    bool JustBegun(bool trouble) {
        const bool begun = trouble && !m_lasting;
        m_lasting = trouble;
        return begun;
    }

private:
    bool m_lasting = false;
};

// Opens the progress log for writing and empties it: a regular file only, never through a link
// (the current folder may be shared with others) and never waiting on a pipe. Null when it cannot
// be.
std::FILE* OpenProgressLog() {
    struct stat status {};
    UniqueFd fd = OpenRegularFile(AT_FDCWD, "error_log.txt", O_WRONLY | O_CREAT, status, 0666);
    std::FILE* file =
        fd.IsOpen() && ::ftruncate(fd.Get(), 0) == 0 ? ::fdopen(fd.Get(), "w") : nullptr;
    if (file != nullptr) {
        fd.Release();  // the stream owns it now
    }
    return file;
}

// The run's progress log in the current folder, emptied at the start of each run. A log that
// cannot be opened is simply not written.
class ProgressLog {
public:
    ProgressLog() : m_file(OpenProgressLog()) {}
    ~ProgressLog() {
        if (m_file != nullptr) {
            std::fclose(m_file);
        }
    }
    ProgressLog(const ProgressLog&) = delete;
    ProgressLog& operator=(const ProgressLog&) = delete;

    void Write(const char* text) {
        if (m_file != nullptr) {
            std::fputs(text, m_file);
            std::fflush(m_file);
        }
    }

private:
    std::FILE* m_file;
};

// A success right after a recorded success in the same folder is left out of the record for this
// long: the frame files show that the run goes on, and a memory card is spared a write a frame.
constexpr std::int64_t kQuietSuccessMs = 60000;

// The run's record of its attempts in the frame folder, written on the capture thread: one small
// atomic write, no longer than the frame's own, and only when it tells something new. A failure
// that goes on (a folder that cannot be written, a full disk) is recorded once, when it began.
class AttemptLog {
public:
    explicit AttemptLog(const Clock& clock) : m_clock(clock) {}

    void Saved(const std::string& frameDir, int number) {
        const std::int64_t now = m_clock.WallMs();
        const bool quiet = m_last && m_last->Is(frameDir, ExitCode::Success) &&
                           now >= m_last->timeMs && now - m_last->timeMs < kQuietSuccessMs;
        if (!quiet) {
            Record(frameDir,
                   {now, ToInt(ExitCode::Success), "saved frame " + FrameFileName(number)});
        }
    }
    void Failed(const std::string& frameDir, ExitCode code, const std::string& message) {
        if (!m_last || !m_last->Is(frameDir, code) || m_last->message != message) {
            Record(frameDir, {m_clock.WallMs(), ToInt(code), message});
        }
    }

private:
    struct Recorded : Attempt {
        std::string frameDir;
        bool Is(const std::string& dir, ExitCode code) const {
            return dir == frameDir && exitCode == ToInt(code);
        }
    };

    void Record(const std::string& frameDir, const Attempt& attempt) {
        RecordAttempt(frameDir, AttemptKind::Capture, attempt);
        m_last = Recorded{attempt, frameDir};
    }

    const Clock& m_clock;
    std::optional<Recorded> m_last;  // the attempt recorded last, and where
};

// The code a launch that takes one frame ends with for the same trouble, for the record of a run
// that ended by itself.
std::optional<ExitCode> ExitCodeFor(CaptureEnd end) {
    switch (end) {
        case CaptureEnd::NoCamera:
        case CaptureEnd::SourceLost:
            return ExitCode::NoCamera;
        case CaptureEnd::SourceEnded:
            return ExitCode::NoFrame;
        case CaptureEnd::CameraBusy:
            return ExitCode::CameraBusy;
        case CaptureEnd::Stopped:
        case CaptureEnd::Key:
            break;
    }
    return std::nullopt;
}

void TellUser(const CaptureView& view, const QString& text) {
    if (view.tell) {
        view.tell(text);
    }
}

// The frame scaled to the preview size, or a black one-channel picture when there is none.
void MakePreview(const cv::Mat& frame, cv::Mat& preview) {
    if (frame.empty()) {
        preview = cv::Mat::zeros(kPreviewHeight, kPreviewWidth, CV_8UC1);
    } else {
        cv::resize(frame, preview, cv::Size(kPreviewWidth, kPreviewHeight), 0, 0, cv::INTER_LINEAR);
    }
}

// One run of the loop, from the opened camera to the end of the last pass.
class CaptureRun {
public:
    CaptureRun(std::stop_token stop, CaptureShared& shared, const CaptureRunConfig& config,
               std::unique_ptr<CameraSource> camera, AttemptLog& attempts)
        : m_stop(std::move(stop)),
          m_shared(shared),
          m_config(config),
          m_camera(std::move(camera)),
          m_attempts(attempts) {}

    CaptureEnd Loop(std::int64_t lastCounter);
    // Closes the camera.
    void ReleaseCamera() { m_camera.reset(); }

private:
    bool KeepGoing() const { return !m_stop.stop_requested() && m_shared.m_running; }
    void Tell(const QString& text) const { TellUser(m_config.view, text); }
    // `grabbedAtMs`: the wall time the frame was grabbed at, its capture time.
    void SaveNextFrame(cv::Mat& frame, Seconds delay, std::int64_t grabbedAtMs);
    // Holds what the run's lock asks, once, when the run has gone on long enough.
    void LockOnceWarm(std::int64_t startedAt);
    // False while the free space is below the floor, which is told once each time it falls.
    bool SpaceToSave(const std::string& frameDir);
    void PublishLatest(const std::string& frameDir, int number);
    bool MayReplace(const std::string& frameDir, int number) const;
    // `open`: whether the schedule lets frames be saved in this pass; time outside it is a pause
    // of the source, which no burst of frames makes up.
    void AddToAccount(Seconds elapsed, bool open);
    // Whether the schedule is open now; tells the window when the run starts or stops waiting.
    bool ScheduleOpen();
    // After a failed grab: the end of the run, or none once the source is open again.
    std::optional<CaptureEnd> RecoverFromFailedGrab();
    // After a failed grab of a camera or stream: opens it again every few seconds until it
    // opens, the reopen time since the loss has passed, or the run is stopped.
    bool Reopen(std::int64_t lostAt);
    void WaitUnlessStopped(Seconds span);
    Seconds Delay() const { return Seconds(m_shared.m_captureDelay.load()); }

    std::stop_token m_stop;
    CaptureShared& m_shared;
    const CaptureRunConfig& m_config;
    std::unique_ptr<CameraSource> m_camera;
    AttemptLog& m_attempts;
    // The unpaused time the schedule kept open since the last saved frame.
    Seconds m_timeAccount{0.0f};
    bool m_locked = false;
    bool m_closedBefore = false;
    TroubleNotice m_saveFails;
    TroubleNotice m_framesKept;  // told once a run: it never ends
    TroubleNotice m_spaceLow;
    TroubleNotice m_latestFails;
    // The schedule's state, kept until the wall clock reaches its next change or goes back.
    bool m_scheduleKnown = false;
    bool m_scheduleOpen = true;
    std::int64_t m_scheduleCheckedMs = 0;
    std::int64_t m_scheduleChangesMs = 0;
    std::string m_toldWaiting;
    // The counter when the source was lost, until a grab succeeds again.
    std::optional<std::int64_t> m_lostSince;
};

CaptureEnd CaptureRun::Loop(std::int64_t lastCounter) {
    Clock& clock = *m_config.clock;
    cv::Mat frame;
    cv::Mat preview;
    FramePacer pacer(clock, m_camera->FileFramesPerSecond());
    const std::int64_t startedAt = lastCounter;
    while (KeepGoing() && pacer.WaitForNextFrame(m_stop)) {
        const Seconds elapsed = SecondsSince(clock, lastCounter);
        const bool open = ScheduleOpen();
        if (!m_shared.m_paused) {
            AddToAccount(elapsed, open);
        }
        if (!m_camera->Grab()) {
            if (const std::optional<CaptureEnd> end = RecoverFromFailedGrab()) {
                return *end;
            }
            // The time the source was away is not made up by a burst of frames.
            lastCounter = clock.Counter();
            continue;
        }
        const std::int64_t grabbedAtMs = clock.WallMs();
        m_lostSince.reset();
        if (!KeepGoing()) {
            break;  // a grab that came back after Stop saves nothing
        }
        LockOnceWarm(startedAt);
        m_camera->Retrieve(frame);
        const Seconds delay = Delay();
        if (!frame.empty() && delay < m_timeAccount && open) {
            SaveNextFrame(frame, delay, grabbedAtMs);
        }
        if (m_config.view.showFrame) {
            MakePreview(frame, preview);
            if (m_config.view.showFrame(preview)) {
                return CaptureEnd::Key;
            }
        }
        const std::chrono::milliseconds sleep = delay > kLongDelay ? kLongPassSleep : kPassSleep;
        clock.SleepUnlessStopped(static_cast<int>(sleep.count()), m_stop);
    }
    return CaptureEnd::Stopped;
}

std::optional<CaptureEnd> CaptureRun::RecoverFromFailedGrab() {
    if (!KeepGoing()) {
        return CaptureEnd::Stopped;
    }
    if (!m_camera->Reopenable()) {
        return CaptureEnd::SourceEnded;
    }
    if (!m_lostSince) {
        m_lostSince = m_config.clock->Counter();
    }
    if (!Reopen(*m_lostSince)) {
        return KeepGoing() ? CaptureEnd::SourceLost : CaptureEnd::Stopped;
    }
    return std::nullopt;
}

void CaptureRun::LockOnceWarm(std::int64_t startedAt) {
    if (m_locked || SecondsFrom(*m_config.clock, startedAt) < kLockAfter) {
        return;
    }
    m_locked = true;
    if (const std::optional<std::string> trouble = LockCameraSource(*m_camera, m_config.lock)) {
        Tell(QString::fromStdString(*trouble));
    }
}

void CaptureRun::SaveNextFrame(cv::Mat& frame, Seconds delay, std::int64_t grabbedAtMs) {
    // A number is used only by a frame that was saved, so the files on disk have no holes.
    const int wanted = m_shared.m_frameCounter + 1;
    int number = wanted;
    const std::string frameDir = m_shared.GetFrameDir();
    if (!SpaceToSave(frameDir)) {
        m_timeAccount -= delay;  // tried again at the pace of the delay
        return;
    }
    if (m_shared.m_showTimestamp) {
        DrawTimestamp(frame, LocalTimeText(*m_config.clock));
    }
    const CameraIdentity camera = m_camera->Identity();
    const FrameStamp stamp{LocalCaptureTime(grabbedAtMs), camera.make, camera.model};
    const FrameSave saved = SaveFrameAtFirstFree(frameDir, frame, stamp, number,
                                                 [&](int n) { return MayReplace(frameDir, n); });
    if (saved == FrameSave::Saved) {
        m_shared.m_frameCounter = number;
        m_saveFails.JustBegun(false);
        m_attempts.Saved(frameDir, number);
        if (m_config.conditions.latestFrame) {
            PublishLatest(frameDir, number);
        }
        if (m_config.frameSaved) {
            m_config.frameSaved(
                {FramePath(frameDir, number), number - kNoFrames, grabbedAtMs, frameDir});
        }
        if (number != wanted && m_framesKept.JustBegun(true)) {
            Tell(QStringLiteral("%1 in %2 was written by another program after the "
                                "capture started. It is kept, and the capture goes on "
                                "with the next free number, %3.")
                     .arg(QString::fromStdString(FrameFileName(wanted)),
                          QString::fromStdString(ShownFolder(frameDir)),
                          QString::fromStdString(FrameFileName(number))));
        }
    } else {
        const QString failure = QStringLiteral(
                                    "Could not save the frame %1 in %2! The capture goes on; "
                                    "please check that the folder exists and can be written.")
                                    .arg(QString::fromStdString(FrameFileName(number)),
                                         QString::fromStdString(ShownFolder(frameDir)));
        m_attempts.Failed(frameDir, ExitCode::NotSaved, failure.toStdString());
        // Told each time saving starts to fail, without stopping the run: the folder may come
        // back, or be changed.
        if (m_saveFails.JustBegun(true)) {
            Tell(failure);
        }
    }
    // Also after a failure, so a failing folder is tried at the pace of the delay.
    m_timeAccount -= delay;
}

void CaptureRun::AddToAccount(Seconds elapsed, bool open) {
    const Seconds delay = Delay();
    m_timeAccount += elapsed;
    // A pass longer than the delay is a pause (a source that stalled for a while): one frame
    // stands for the time missed, and the next follows a full delay after it, not in a burst.
    // So is the time the schedule kept closed, up to the pass that finds it open: one frame when
    // it opens, the next a full delay later.
    if (elapsed > delay || !open || m_closedBefore) {
        m_timeAccount = std::min(m_timeAccount, Seconds(std::nextafter(delay.count(), FLT_MAX)));
    }
    m_closedBefore = !open;
}

bool CaptureRun::SpaceToSave(const std::string& frameDir) {
    const SaveConditions& conditions = m_config.conditions;
    const bool low = BelowFreeSpaceFloor(*conditions.freeSpace, frameDir, conditions.minFreeMb);
    if (!low) {
        m_spaceLow.JustBegun(false);
        return true;
    }
    const QString failure = QStringLiteral(
                                "Saving has paused: the disk of %1 has less than %2 MB free "
                                "(MIN_FREE_MB). The capture goes on, and saving resumes by "
                                "itself once there is space again.")
                                .arg(QString::fromStdString(ShownFolder(frameDir)))
                                .arg(conditions.minFreeMb);
    m_attempts.Failed(frameDir, ExitCode::LowFreeSpace, failure.toStdString());
    if (m_spaceLow.JustBegun(true)) {
        Tell(failure);
    }
    return false;
}

void CaptureRun::PublishLatest(const std::string& frameDir, int number) {
    const int error = PublishLatestFrame(frameDir, number);
    if (m_latestFails.JustBegun(error != 0)) {
        Tell(QStringLiteral("Could not replace %1 in %2 (%3). The frames are saved all "
                            "the same.")
                 .arg(QString::fromLatin1(kLatestFrameName),
                      QString::fromStdString(ShownFolder(frameDir)),
                      QString::fromLocal8Bit(std::strerror(error))));
    }
}

bool CaptureRun::ScheduleOpen() {
    const CaptureSchedule& schedule = m_config.conditions.schedule;
    if (schedule.AllDay()) {
        return true;
    }
    const std::int64_t now = m_config.clock->WallMs();
    if (m_scheduleKnown && now >= m_scheduleCheckedMs && now < m_scheduleChangesMs) {
        return m_scheduleOpen;
    }
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(now);
    m_scheduleKnown = true;
    m_scheduleCheckedMs = now;
    m_scheduleOpen = schedule.IsOpen(at);
    const std::optional<QDateTime> change = schedule.NextChange(at);
    m_scheduleChangesMs =
        change ? change->toMSecsSinceEpoch() : std::numeric_limits<std::int64_t>::max();
    std::string waiting;
    if (!m_scheduleOpen) {
        const std::optional<QDateTime> next = schedule.NextOpening(at);
        waiting = next ? ShownTime(*next, at.toLocalTime().date()) : "never";
    }
    if (waiting != m_toldWaiting && !waiting.empty()) {
        // No frame until it opens: the reader of the record tells this from a lost camera.
        m_attempts.Failed(m_shared.GetFrameDir(), ExitCode::OutsideSchedule,
                          "outside the capture schedule, so no frame is taken; it opens next " +
                              (waiting == "never" ? std::string("never") : "at " + waiting));
    }
    if (waiting != m_toldWaiting && m_config.tellWaiting) {
        m_config.tellWaiting(waiting);
    }
    m_toldWaiting = waiting;
    return m_scheduleOpen;
}

bool CaptureRun::MayReplace(const std::string& frameDir, int number) const {
    return frameDir == m_config.agreedDir &&
           std::binary_search(m_config.agreedFrames.begin(), m_config.agreedFrames.end(), number);
}

bool CaptureRun::Reopen(std::int64_t lostAt) {
    Clock& clock = *m_config.clock;
    m_camera.reset();  // a device is free to be opened again only once it is closed
    while (KeepGoing()) {
        if (SecondsFrom(clock, lostAt) >= kReopenFor) {
            return false;
        }
        WaitUnlessStopped(kReopenInterval);
        if (!KeepGoing()) {
            return false;
        }
        m_camera = m_config.openCamera(0, m_config.camSource);
        if (m_camera) {
            SetCaptureSize(*m_camera, m_config.resolution);
            return true;
        }
    }
    return false;
}

void CaptureRun::WaitUnlessStopped(Seconds span) {
    Clock& clock = *m_config.clock;
    const std::int64_t from = clock.Counter();
    while (KeepGoing() && SecondsFrom(clock, from) < span) {
        clock.SleepUnlessStopped(static_cast<int>(kWaitSlice.count()), m_stop);
    }
}

}  // namespace

std::string CaptureEndMessage(CaptureEnd end) {
    switch (end) {
        case CaptureEnd::NoCamera:
            return kNoCameraMessage;
        case CaptureEnd::SourceEnded:
            return "The capture has stopped: the camera source has no more frames.";
        case CaptureEnd::SourceLost:
            return "The capture has stopped: the camera stopped sending frames and could not be "
                   "opened again within a minute.";
        case CaptureEnd::CameraBusy:
            return "The capture could not start: another profile of Vorn is using the camera's "
                   "device.";
        case CaptureEnd::Stopped:
        case CaptureEnd::Key:
            break;
    }
    return {};
}

void DrawTimestamp(cv::Mat& frame, const std::string& text) {
    const cv::Point origin(10, 60);
    constexpr double kScale = 0.5;
    constexpr double kShear = 0.1;  // slanted as italic type, leaning right above the baseline
    int baseline = 0;
    const cv::Size size = cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, kScale, 1, &baseline);
    // The text is drawn into a mask around it, slanted, and painted white where the mask is set.
    const cv::Rect around =
        cv::Rect(0, origin.y - size.height - 2, origin.x + size.width + size.height / 5 + 4,
                 size.height + baseline + 4) &
        cv::Rect(0, 0, frame.cols, frame.rows);
    if (around.empty()) {
        return;
    }
    cv::Mat mask = cv::Mat::zeros(around.size(), CV_8UC1);
    const cv::Point inMask = origin - around.tl();
    cv::putText(mask, text, inMask, cv::FONT_HERSHEY_SIMPLEX, kScale, 255, 1, cv::LINE_8);
    const cv::Matx23d shear(1, -kShear, kShear * inMask.y, 0, 1, 0);
    cv::Mat slanted;
    cv::warpAffine(mask, slanted, shear, mask.size(), cv::INTER_NEAREST);
    frame(around).setTo(cv::Scalar(255, 255, 255, 0), slanted);
}

namespace {

CaptureEnd RunCapture(const std::stop_token& stop, CaptureShared& shared,
                      const CaptureRunConfig& config, AttemptLog& attempts) {
    ProgressLog log;
    log.Write("Acquiring capture device...");
    // Held for the whole run, through a lost camera's reopening: another profile's launch waits.
    const std::string device = V4l2DevicePath(0, config.camSource);
    const std::optional<DeviceLock> deviceLock =
        device.empty() ? DeviceLock()
                       : DeviceLock::Take(device, config.profile, *config.clock, kLockAfter, stop);
    if (!deviceLock) {
        log.Write("failed\n");
        return stop.stop_requested() ? CaptureEnd::Stopped : CaptureEnd::CameraBusy;
    }
    std::unique_ptr<CameraSource> camera = config.openCamera(0, config.camSource);
    log.Write(camera ? "successful\n" : "failed\n");
    const std::int64_t lastCounter = config.clock->Counter();
    if (!camera) {
        return CaptureEnd::NoCamera;
    }
    if (config.view.openPreview) {
        config.view.openPreview();
    }
    SetCaptureSize(*camera, config.resolution);
    MeterCameraSource(*camera, config.lock);
    CaptureRun run(stop, shared, config, std::move(camera), attempts);
    const CaptureEnd end = run.Loop(lastCounter);
    log.Write("Attempting to release capture...");
    run.ReleaseCamera();
    log.Write("successful\n");
    log.Write("Attempting to close window...");
    if (config.view.closePreview) {
        config.view.closePreview();
    }
    log.Write("successful\n");
    return end;
}

}  // namespace

CaptureEnd CaptureThreadProc(const std::stop_token& stop, CaptureShared& shared,
                             const CaptureRunConfig& config) {
    AttemptLog attempts(*config.clock);
    const CaptureEnd end = RunCapture(stop, shared, config, attempts);
    const std::string message = CaptureEndMessage(end);
    if (const std::optional<ExitCode> code = ExitCodeFor(end)) {
        attempts.Failed(shared.GetFrameDir(), *code, message);
    }
    // A missing or busy camera is told even after Stop: that run never began.
    if (!message.empty() &&
        (end == CaptureEnd::NoCamera || end == CaptureEnd::CameraBusy || !stop.stop_requested())) {
        // Not waited for: nothing may hold the thread once its owner wants it to end.
        TellUser(config.view, QString::fromStdString(message));
    }
    return end;
}
