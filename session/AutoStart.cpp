#include "session/AutoStart.h"

#include <QDateTime>
#include <QFile>
#include <QLockFile>
#include <climits>
#include <cstdio>
#include <cstring>
#include <opencv2/core/mat.hpp>

#include "capture/VideoCaptureModule.h"
#include "frames/FrameFile.h"
#include "platform/Clock.h"
#include "platform/Display.h"
#include "platform/ImageCodecModule.h"
#include "platform/LoadableModule.h"
#include "platform/MessageBox.h"
#include "platform/SettingsKey.h"
#include "res/Strings.h"
#include "session/SeasonSettings.h"
#include "settings/SettingNames.h"
#include "settings/Settings.h"

namespace {

using namespace std::chrono_literals;

// A box of an unattended launch closes itself after this long.
constexpr auto kUnattendedBoxLimit = 60s;
// Another launch holds the settings lock only while it saves a frame and stores its count.
constexpr auto kLockWait = 30s;
// The largest count whose next frame number still fits in an int.
constexpr int kMaxFrameCount = INT_MAX - kNoFrames - 1;

QString SettingsPath() {
    return SettingsKey::FilePath();
}

TakeFrameResult Fail(TakeFrameResult result, const QString& message) {
    TellUnattended(message);
    return result;
}

TakeFrameResult FailForSettings(const std::optional<StoredSettings>& settings) {
    return Fail(TakeFrameResult::SettingsMissing,
                QStringLiteral("%1 (%2)").arg(kCannotFindSettingsMessage,
                                              QString::fromStdString(SettingsTrouble(settings))));
}

// Tells why the count cannot be used, or nothing when it can.
std::optional<TakeFrameResult> RefuseCount(const std::optional<StoredSettings>& settings) {
    if (!settings || !settings->frameCount) {
        return FailForSettings(settings);
    }
    const int count = *settings->frameCount;
    if (count < 0 || count > kMaxFrameCount) {
        return Fail(TakeFrameResult::CountOutOfRange,
                    QStringLiteral("%1=%2 in %3 is out of range: it must be from 0 to %4.")
                        .arg(SettingNames::kAutoStartFrameCount)
                        .arg(count)
                        .arg(SettingsPath())
                        .arg(kMaxFrameCount));
    }
    if (!SettingsKey::IsWritable()) {
        return Fail(TakeFrameResult::CountNotStored,
                    QStringLiteral("Cannot store the frame count in %1, so no frame was taken.")
                        .arg(SettingsPath()));
    }
    return std::nullopt;
}

// Tells, in one line on standard error, that the count moved past frames already there: a launch
// killed between saving its frame and counting it, or a count set back by hand.
void TellCountMoved(const std::string& frameDir, int wanted, int saved) {
    const std::string shown = ShownFolder(frameDir);
    const char* dir = shown.c_str();
    if (saved - 1 == wanted) {
        std::fprintf(stderr,
                     "vorn: %s already exists in %s and is kept; the count moves past it "
                     "to %d.\n",
                     FrameFileName(wanted).c_str(), dir, saved - kNoFrames);
    } else {
        std::fprintf(stderr,
                     "vorn: %s to %s already exist in %s and are kept; the count moves "
                     "past them to %d.\n",
                     FrameFileName(wanted).c_str(), FrameFileName(saved - 1).c_str(), dir,
                     saved - kNoFrames);
    }
}

TakeFrameResult FailForFreeSpace(const std::string& frameDir, int minFreeMb) {
    return Fail(TakeFrameResult::LowFreeSpace,
                QStringLiteral("The disk of %1 has less than %2 MB free (MIN_FREE_MB), so no frame "
                               "was taken.")
                    .arg(QString::fromStdString(ShownFolder(frameDir)))
                    .arg(minFreeMb));
}

// Tells, on standard error only, that the launch came outside the schedule: a launch every few
// minutes from a timer is meant to find it closed most of the night.
TakeFrameResult TellOutsideSchedule(const CaptureSchedule& schedule, std::int64_t nowMs) {
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(nowMs);
    const std::optional<QDateTime> next = schedule.NextOpening(now);
    std::fprintf(stderr, "vorn: outside the capture schedule, so no frame was taken; %s.\n",
                 next ? ("it opens next at " + ShownTime(*next, now.date())).c_str()
                      : "it does not open within a year");
    std::fflush(stderr);
    return TakeFrameResult::OutsideSchedule;
}

// Saves `frame` as the next frame whose file is free and stores the count, under the settings
// lock.
TakeFrameResult SaveCountedFrame(const std::string& frameDir, const cv::Mat& frame,
                                 const SaveConditions& conditions, int& frameNumber) {
    const auto lock = SettingsKey::Lock(kLockWait);
    if (!lock) {
        return Fail(TakeFrameResult::CountNotStored,
                    QStringLiteral("Cannot lock %1.lock to count the frame, so no frame was taken.")
                        .arg(SettingsPath()));
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
    switch (SaveFrameAtFirstFree(frameDir, frame, number, [](int) { return false; })) {
        case FrameSave::Saved:
            break;
        case FrameSave::AlreadyExists:
            return Fail(TakeFrameResult::NoFreeNumber,
                        QStringLiteral("Every frame number from %1 on is taken in %2; nothing "
                                       "was overwritten.")
                            .arg(QString::fromStdString(FrameFileName(wanted)),
                                 QFile::decodeName(frameDir.c_str())));
        case FrameSave::Failed:
            return Fail(TakeFrameResult::NotSaved,
                        QStringLiteral("Could not save the frame %1.")
                            .arg(QFile::decodeName(FramePath(frameDir, number).c_str())));
    }
    if (!SettingsKey::StoreValueInPlace(SettingNames::kAutoStartFrameCount,
                                        std::to_string(number - kNoFrames))) {
        // The next launch would take the same number: this frame must not stay.
        QFile::remove(QFile::decodeName(FramePath(frameDir, number).c_str()));
        return Fail(TakeFrameResult::CountNotStored,
                    QStringLiteral("Cannot store the frame count in %1, so no frame was taken.")
                        .arg(SettingsPath()));
    }
    if (number != wanted) {
        TellCountMoved(frameDir, wanted, number);
    }
    if (conditions.latestFrame) {
        if (const int error = PublishLatestFrame(frameDir, number); error != 0) {
            // The frame is saved and counted all the same.
            std::fprintf(stderr, "vorn: could not replace %s in %s: %s\n", kLatestFrameName,
                         ShownFolder(frameDir).c_str(), std::strerror(error));
        }
    }
    frameNumber = number;
    return TakeFrameResult::Saved;
}

}  // namespace

std::optional<std::string> InstallationTrouble() {
    return BrokenInstallation({kVideoCaptureModule, kImageCodecModule});
}

void TellUnattended(const QString& text) {
    std::fprintf(stderr, "vorn: %s\n", qUtf8Printable(text));
    std::fflush(stderr);
    if (WindowsAreSeen()) {
        ShowMessageBox(text, kUnattendedBoxLimit);
    }
}

TakeFrameResult TakeCountedFrame(const CameraOpener& openCamera, Clock& clock,
                                 const std::function<bool(const cv::Mat&)>& showFrame,
                                 int* frameNumber, const FreeSpaceProbe& freeSpace) {
    const auto settings = ReadSettings();
    // Checked before the camera warms up, so that a launch that could not count its frame takes
    // none and ends at once.
    if (!settings || !settings->frameDir || !settings->cameraIndex || !settings->resolution ||
        !settings->camSource) {
        return FailForSettings(settings);
    }
    if (!settings->badValues.empty()) {
        return Fail(TakeFrameResult::BadSetting,
                    QString::fromStdString(BadValuesMessage(*settings)));
    }
    auto season = SaveConditionsFrom(*settings);
    if (const auto* trouble = std::get_if<std::string>(&season)) {
        return Fail(TakeFrameResult::BadSetting, QString::fromStdString(*trouble));
    }
    if (const auto refused = RefuseCount(settings)) {
        return *refused;
    }
    SaveConditions& conditions = std::get<SaveConditions>(season);
    conditions.freeSpace = &freeSpace;
    if (const std::int64_t now = clock.WallMs();
        !conditions.schedule.IsOpen(QDateTime::fromMSecsSinceEpoch(now))) {
        return TellOutsideSchedule(conditions.schedule, now);
    }
    if (BelowFreeSpaceFloor(freeSpace, *settings->frameDir, conditions.minFreeMb)) {
        return FailForFreeSpace(*settings->frameDir, conditions.minFreeMb);
    }
    OneFrameCapture capture;
    capture.openCamera = openCamera;
    capture.cameraIndex = *settings->cameraIndex;
    capture.source = *settings->camSource;
    capture.resolution = *settings->resolution;
    capture.clock = &clock;
    capture.showFrame = showFrame;
    capture.lock = {settings->cameraLock, settings->powerLineHz};
    // Told once the launch is over: a box now would hold the camera between its lock and its frame.
    std::string lockTrouble;
    capture.tellLockTrouble = [&](const std::string& trouble) { lockTrouble = trouble; };
    int number = 0;
    const TakeFrameResult result = TakeOneFrame(capture, [&](const cv::Mat& frame) {
        return SaveCountedFrame(*settings->frameDir, frame, conditions, number);
    });
    if (!lockTrouble.empty()) {
        TellUnattended(QString::fromStdString(lockTrouble));
    }
    if (result == TakeFrameResult::NoCamera) {
        TellUnattended(kNoCameraMessage);
    } else if (result == TakeFrameResult::NoFrame) {
        TellUnattended(
            QStringLiteral("No frame from the camera: it sent none, ended during the "
                           "warm-up, or a key stopped it."));
    }
    if (frameNumber != nullptr && result == TakeFrameResult::Saved) {
        *frameNumber = number;
    }
    return result;
}

int RunTakeFrame() {
    if (const std::optional<std::string> broken = InstallationTrouble()) {
        return static_cast<int>(
            Fail(TakeFrameResult::BrokenInstallation, QString::fromStdString(*broken)));
    }
    return static_cast<int>(TakeCountedFrame(OpenVideoCapture, DefaultClock(), {}));
}
