#include "session/AutoStart.h"

#include <QDateTime>
#include <QFile>
#include <QLockFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <opencv2/core/mat.hpp>
#include <utility>

#include "capture/VideoCaptureModule.h"
#include "frames/AttemptRecord.h"
#include "frames/FrameFile.h"
#include "platform/Clock.h"
#include "platform/ImageCodecModule.h"
#include "platform/LoadableModule.h"
#include "platform/Tell.h"
#include "res/Strings.h"
#include "session/HookSettings.h"
#include "session/SeasonSettings.h"
#include "settings/Settings.h"

namespace {

using namespace std::chrono_literals;

// Another launch holds the settings lock only while it saves a frame and stores its count.
constexpr auto kLockWait = 30s;

UnattendedBox& CurrentUnattendedBox() {
    static UnattendedBox box;
    return box;
}

// Tells a failure of an unattended launch, in a box too when someone may see it.
ExitCode FailUnattended(ExitCode result, const QString& message) {
    TellUnattended(message);
    return result;
}

// Tells that the count cannot be stored, and why when `why` is given: no frame is kept.
ExitCode FailToCount(const QString& why = {}) {
    return FailUnattended(
        ExitCode::CountNotStored,
        QStringLiteral("Cannot store the frame count in %1%2, so no frame was taken.")
            .arg(SettingsFilePath(), why.isEmpty() ? why : " (" + why + ")"));
}

ExitCode FailForSettings(const std::optional<StoredSettings>& settings) {
    return FailUnattended(ExitCode::SettingsMissing,
                          QStringLiteral("%1 (%2)").arg(
                              kCannotFindSettingsMessage,
                              QString::fromStdString(SettingsTrouble(settings).value_or(""))));
}

// Tells why the count cannot be used, or nothing when it can.
std::optional<ExitCode> RefuseCount(const std::optional<StoredSettings>& settings) {
    if (!settings || !settings->frameCount) {
        return FailForSettings(settings);
    }
    if (const std::optional<std::string> trouble = NextFrameTrouble(*settings->frameCount)) {
        return FailUnattended(ExitCode::CountOutOfRange, QString::fromStdString(*trouble));
    }
    if (!SettingsFileWritable()) {
        return FailToCount();
    }
    return std::nullopt;
}

// Tells, in one line on standard error, that the count moved past frames already there: a launch
// killed between saving its frame and counting it, or a count set back by hand.
void TellCountMoved(const std::string& frameDir, int wanted, int saved) {
    const std::string shown = ShownFolder(frameDir);
    const std::string next = std::to_string(saved - kNoFrames);
    if (saved - 1 == wanted) {
        TellLine(FrameFileName(wanted) + " already exists in " + shown +
                 " and is kept; the count moves past it to " + next + ".");
    } else {
        TellLine(FrameFileName(wanted) + " to " + FrameFileName(saved - 1) + " already exist in " +
                 shown + " and are kept; the count moves past them to " + next + ".");
    }
}

ExitCode FailForFreeSpace(const std::string& frameDir, int minFreeMb) {
    return FailUnattended(
        ExitCode::LowFreeSpace,
        QStringLiteral("The disk of %1 has less than %2 MB free (%3), so no frame was taken.")
            .arg(QString::fromStdString(ShownFolder(frameDir)))
            .arg(minFreeMb)
            .arg(QLatin1String(SettingName(Setting::MinFreeMb))));
}

// Tells, on standard error only, that the launch came outside the schedule: a launch every few
// minutes from a timer is meant to find it closed most of the night. Nothing when it is open.
std::optional<ExitCode> RefuseOutsideSchedule(const CaptureSchedule& schedule, const Clock& clock) {
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(clock.WallMs());
    if (schedule.IsOpen(now)) {
        return std::nullopt;
    }
    const std::optional<QDateTime> next = schedule.NextOpening(now);
    TellLine("outside the capture schedule, so no frame was taken; " +
             (next ? "it opens next at " + ShownTime(*next, now.date())
                   : std::string("it does not open within a year")) +
             ".");
    return ExitCode::OutsideSchedule;
}

// Saves `frame` as the next frame whose file is free and stores the count, under the settings
// lock.
ExitCode SaveCountedFrame(const std::string& frameDir, const cv::Mat& frame,
                          const FrameStamp& stamp, const SaveConditions& conditions,
                          int& frameNumber) {
    const auto lock = LockSettingsFile(kLockWait);
    if (!lock) {
        const int error = errno;
        return FailToCount(
            error == EWOULDBLOCK
                ? QStringLiteral("another launch held its lock for %1 s").arg(kLockWait.count())
                : QStringLiteral("cannot make its lock %1.lock: %2")
                      .arg(SettingsFilePath(), QString::fromLocal8Bit(std::strerror(error))));
    }
    // Read afresh: another launch may have counted a frame since this one started.
    const auto settings = ReadSettings();
    if (const auto refused = RefuseCount(settings)) {
        return *refused;
    }
    RemoveStaleTemporaries(frameDir);
    // Again, as the warm-up may have taken what was left.
    if (BelowFreeSpaceFloor(*conditions.freeSpace, frameDir, conditions.minFreeMb)) {
        return FailForFreeSpace(frameDir, conditions.minFreeMb);
    }
    const int wanted = kNoFrames + *settings->frameCount + 1;
    int number = wanted;
    switch (SaveFrameAtFirstFree(frameDir, frame, stamp, number, [](int) { return false; })) {
        case FrameSave::Saved:
            break;
        case FrameSave::AlreadyExists:
            return FailUnattended(
                ExitCode::NoFreeNumber,
                QStringLiteral("Every frame number from %1 on is taken in %2; nothing "
                               "was overwritten.")
                    .arg(QString::fromStdString(FrameFileName(wanted)),
                         QFile::decodeName(frameDir.c_str())));
        case FrameSave::Failed:
            return FailUnattended(ExitCode::NotSaved,
                                  QStringLiteral("Could not save the frame %1.")
                                      .arg(QFile::decodeName(FramePath(frameDir, number).c_str())));
    }
    if (!StoreFrameCount(number - kNoFrames)) {
        const int error = errno;
        // The next launch would take the same number: this frame must not stay.
        QFile::remove(QFile::decodeName(FramePath(frameDir, number).c_str()));
        return FailToCount(QString::fromLocal8Bit(std::strerror(error)));
    }
    if (number != wanted) {
        TellCountMoved(frameDir, wanted, number);
    }
    if (conditions.latestFrame) {
        if (const int error = PublishLatestFrame(frameDir, number); error != 0) {
            // The frame is saved and counted all the same.
            TellLine(std::string("could not replace ") + kLatestFrameName + " in " +
                     ShownFolder(frameDir) + ": " + std::strerror(error));
        }
    }
    frameNumber = number;
    return ExitCode::Success;
}

// What a launch hands on from its frame: the saved frame's number and capture time, and the camera
// lock's trouble, told once the launch is over (a box before would hold the camera between its
// lock and its frame).
struct TakenFrame {
    int number = 0;
    std::int64_t takenAtMs = 0;
    std::string lockTrouble;
};

// Tells why the camera gave no frame, when that is how `result` came about.
void TellCameraFailure(ExitCode result, const OneFrameCapture& capture) {
    if (result == ExitCode::NoCamera) {
        TellUnattended(kNoCameraMessage);
    } else if (result == ExitCode::NoFrame) {
        TellUnattended(
            QStringLiteral("No frame from the camera: it sent none, ended during the "
                           "warm-up, or a key stopped it."));
    } else if (result == ExitCode::CameraBusy) {
        TellUnattended(
            QStringLiteral("The camera's device %1 is busy: another profile of Vorn "
                           "held it through the warm-up, so no frame was taken.")
                .arg(QString::fromStdString(V4l2DevicePath(capture.cameraIndex, capture.source))));
    }
}

// TakeCountedFrame with the settings read: a failure is the last line it tells.
ExitCode TakeWithSettings(const std::optional<StoredSettings>& settings,
                          const CameraOpener& openCamera, Clock& clock,
                          const std::function<bool(const cv::Mat&)>& showFrame,
                          const FreeSpaceProbe& freeSpace, TakenFrame& taken) {
    // Checked before the camera warms up, so that a launch that could not count its frame takes
    // none and ends at once.
    if (!settings || !settings->frameDir || !settings->cameraIndex || !settings->resolution ||
        !settings->camSource) {
        return FailForSettings(settings);
    }
    if (!settings->badValues.empty()) {
        return FailUnattended(ExitCode::BadSetting,
                              QString::fromStdString(BadValuesMessage(*settings).value_or("")));
    }
    auto season = SaveConditionsFrom(*settings);
    if (const auto* trouble = std::get_if<std::string>(&season)) {
        return FailUnattended(ExitCode::BadSetting, QString::fromStdString(*trouble));
    }
    if (const auto refused = RefuseCount(settings)) {
        return *refused;
    }
    SaveConditions& conditions = std::get<SaveConditions>(season);
    conditions.freeSpace = &freeSpace;
    if (const auto refused = RefuseOutsideSchedule(conditions.schedule, clock)) {
        return *refused;
    }
    if (BelowFreeSpaceFloor(freeSpace, *settings->frameDir, conditions.minFreeMb)) {
        return FailForFreeSpace(*settings->frameDir, conditions.minFreeMb);
    }
    OneFrameCapture capture;
    capture.openCamera = openCamera;
    capture.cameraIndex = *settings->cameraIndex;
    capture.source = *settings->camSource;
    capture.profile = ProfileName();
    capture.resolution = *settings->resolution;
    capture.clock = &clock;
    capture.showFrame = showFrame;
    capture.lock = {settings->cameraLock, settings->powerLineHz};
    capture.tellLockTrouble = [&](const std::string& trouble) { taken.lockTrouble = trouble; };
    const ExitCode result =
        TakeOneFrame(capture, [&](const cv::Mat& frame, const FrameStamp& stamp) {
            // Again, as the warm-up may have run past the schedule's close.
            if (const auto refused = RefuseOutsideSchedule(conditions.schedule, clock)) {
                return *refused;
            }
            taken.takenAtMs = stamp.time.ms;
            return SaveCountedFrame(*settings->frameDir, frame, stamp, conditions, taken.number);
        });
    TellCameraFailure(result, capture);
    return result;
}

}  // namespace

std::optional<std::string> InstallationTrouble() {
    return BrokenInstallation({kVideoCaptureModule, kImageCodecModule});
}

void TellUnattended(const QString& text) {
    TellLine(text.toStdString());
    if (const UnattendedBox& box = CurrentUnattendedBox()) {
        box(text);
    }
}

UnattendedBox SetUnattendedBox(UnattendedBox box) {
    return std::exchange(CurrentUnattendedBox(), std::move(box));
}

ExitCode TakeCountedFrame(const CameraOpener& openCamera, Clock& clock,
                          const std::function<bool(const cv::Mat&)>& showFrame, int* frameNumber,
                          const FreeSpaceProbe& freeSpace) {
    const auto settings = ReadSettings();
    TakenFrame taken;
    const ExitCode result =
        TakeWithSettings(settings, openCamera, clock, showFrame, freeSpace, taken);
    // Recorded before the notes after it and the hook, so that the record says what the launch
    // came to as soon as it is known.
    if (settings && settings->frameDir) {
        RecordAttempt(*settings->frameDir, AttemptKind::Capture,
                      {clock.WallMs(), ToInt(result),
                       result == ExitCode::Success ? "saved frame " + FrameFileName(taken.number)
                                                   : LastLineTold()});
    }
    if (!taken.lockTrouble.empty()) {
        TellUnattended(QString::fromStdString(taken.lockTrouble));
    }
    if (result == ExitCode::Success) {
        // The frame is saved and counted, whatever its hook does; the launch waits for it.
        RunHookAndTell(HookFromSettings(*settings, HookEvent::Frame),
                       {FramePath(*settings->frameDir, taken.number), taken.number - kNoFrames,
                        taken.takenAtMs, *settings->frameDir});
        if (frameNumber != nullptr) {
            *frameNumber = taken.number;
        }
    }
    return result;
}

ExitCode RunTakeFrame() {
    if (const std::optional<std::string> broken = InstallationTrouble()) {
        return FailUnattended(ExitCode::BrokenInstallation, QString::fromStdString(*broken));
    }
    return TakeCountedFrame(OpenVideoCapture, DefaultClock(), {});
}
