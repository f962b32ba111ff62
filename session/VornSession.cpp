#include "session/VornSession.h"

#include <QDateTime>
#include <QPointer>
#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>

#include <opencv2/core/mat.hpp>

#include "platform/Clock.h"
#include "platform/Tell.h"
#include "platform/UiThread.h"
#include "res/Strings.h"
#include "session/AutoStart.h"
#include "session/HookSettings.h"
#include "session/SeasonSettings.h"
#include "session/VideoOptionsStore.h"
#include "settings/Settings.h"
#include "timeline/FrameChoice.h"

namespace {

// The lower limit first; only a value not below it is held to the upper one, so an upper limit
// below the lower one leaves the lower.
int Limit(int value, int lower, int upper) {
    if (value < lower) {
        return lower;
    }
    return value > upper ? upper : value;
}

// One step from `value` as an arrow asks: no change or a negative one (the upper arrow) raises.
// A value already at the end of the int range stays there; the limits then apply.
int Stepped(int value, int delta, int step = 1) {
    if (delta <= 0) {
        return value > INT_MAX - step ? INT_MAX : value + step;
    }
    return value < INT_MIN + step ? INT_MIN : value - step;
}

constexpr int kDelayStepTenths = 10;

// Tells a hook's failure on standard error, the window's log, each time, and through `session`'s
// Told the first time only. Called on the hook's thread; the session may be gone by then.
std::function<void(const std::string&)> HookFailureTeller(VornSession* session) {
    return [session = QPointer<VornSession>(session),
            told = std::make_shared<std::atomic<bool>>(false)](const std::string& failure) {
        TellLine(failure);
        if (!told->exchange(true)) {
            RunOnUiThread([session, text = QString::fromStdString(failure)] {
                if (session) {
                    emit session->Told(QObject::tr("A command of the settings failed: %1. It "
                                                   "goes on running after each file; later "
                                                   "failures are told on standard error only.")
                                           .arg(text));
                }
            });
        }
    };
}

}  // namespace

VornSession::VornSession(QObject* parent)
    : QObject(parent),
      m_clock(&DefaultClock()),
      m_frameHooks(std::make_shared<HookQueue>(HookFailureTeller(this))),
      m_videoHooks(HookFailureTeller(this)) {}

VornSession::~VornSession() {
    // A run held by its source is left to end by itself; it keeps what it uses alive.
    m_capture->m_running = false;
    StopCaptureThread();
}

bool VornSession::LoadSettings() {
    const auto settings = ReadSettings();
    // The window says only that settings are missing; standard error says which.
    if (const std::optional<std::string> trouble = SettingsTrouble(settings)) {
        TellLine(*trouble);
    }
    if (!settings) {
        return false;
    }
    // A missing value fails the load and leaves its member as it is.
    if (settings->frameDir) {
        SetFrameDir(*settings->frameDir);
    }
    m_autoStart = settings->autoStart.value_or(m_autoStart);
    m_autoStartFrameCount = settings->frameCount.value_or(m_autoStartFrameCount);
    m_cameraIndex = settings->cameraIndex.value_or(m_cameraIndex);
    m_resolution = settings->resolution.value_or(m_resolution);
    m_camSource = settings->camSource.value_or("");
    m_cameraLock = {settings->cameraLock, settings->powerLineHz};
    m_badSettings = BadValuesMessage(*settings, kCameraLockSettings);
    if (m_badSettings) {
        TellLine(*m_badSettings);
    }
    m_videoOptions = ReadVideoOptions();
    // Saturated: a count typed near the int limit must not overflow (an unattended run refuses
    // it with its own exit code).
    m_capture->m_frameCounter = static_cast<int>(
        std::min<long long>(static_cast<long long>(m_autoStartFrameCount) + kNoFrames, INT_MAX));
    m_startFrame = 0;
    m_endFrame = m_autoStartFrameCount;
    emit RangeReset();
    emit DurationChanged();
    return settings->Complete();
}

void VornSession::SetFrameDir(const std::string& frameDir) {
    m_capture->SetFrameDir(WithTrailingSeparator(frameDir));
    emit FrameDirChanged();
}

bool VornSession::StartRun(std::vector<int> agreedFrames) {
    // A run held by a hung source still owns the frame counter until it ends.
    if (!m_captureWorker.Stop()) {
        emit Told(tr("The previous capture is still ending; please try again in a moment."));
        return false;
    }
    // Read afresh: the Schedule and camera dialog may have changed them. Without a settings file
    // the defaults hold.
    auto conditions = SaveConditionsFrom(ReadSettings().value_or(DefaultSettings()));
    if (const auto* trouble = std::get_if<std::string>(&conditions)) {
        emit Told(QString::fromStdString(*trouble));
        return false;
    }
    m_saveConditions = std::get<SaveConditions>(conditions);
    m_frameHook = HookFromSettings(ReadSettings().value_or(DefaultSettings()), HookEvent::Frame);
    RemoveStaleTemporaries(GetFrameDir());
    m_capture->m_frameCounter = kNoFrames;
    m_capture->m_paused = false;
    m_capture->m_running = true;
    StartCaptureThread(std::move(agreedFrames));
    emit RunStateChanged();
    return true;
}

void VornSession::StopRun() {
    m_capture->m_running = false;
    m_capture->m_paused = false;
    StopCaptureThread();
    SetWaitingFor({});
    KeepEndFrame(FramesTaken());
    emit RangeReset();
    emit DurationChanged();
    emit RunStateChanged();
}

void VornSession::SetPaused(bool paused) {
    m_capture->m_paused = paused;
    emit RunStateChanged();
}

bool VornSession::StartCaptureThread(std::vector<int> agreedFrames) {
    CaptureRunConfig config{m_openCamera,
                            m_camSource,
                            ProfileName(),
                            m_resolution,
                            m_clock,
                            GetFrameDir(),
                            std::move(agreedFrames),
                            m_cameraLock,
                            m_saveConditions,
                            {},
                            m_view,
                            {}};
    config.conditions.freeSpace = m_freeSpace;
    if (!m_frameHook.command.empty()) {
        // Called on the capture thread: the frame waits in the queue, never the run.
        config.frameSaved = [queue = m_frameHooks, hook = m_frameHook](const HookFile& frame) {
            queue->Post(hook, frame);
        };
    }
    // Called on the capture thread; the session may be gone by the time the call comes.
    config.tellWaiting = [session = QPointer<VornSession>(this),
                          runId = m_captureWorker.RunId() + 1](const std::string& nextFrame) {
        RunOnUiThread([session, runId, text = QString::fromStdString(nextFrame)] {
            if (session && runId == session->m_captureWorker.RunId() && session->IsRunning()) {
                session->SetWaitingFor(text);
            }
        });
    };
    // Called on the capture thread; the session may be gone by the time the call comes.
    auto onEnded = [session = QPointer<VornSession>(this)](int runId) {
        RunOnUiThread([session, runId] {
            if (session) {
                session->OnCaptureEnded(runId);
            }
        });
    };
    return m_captureWorker.Start(m_capture, std::move(config), std::move(onEnded));
}

void VornSession::OnCaptureEnded(int runId) {
    // The run tells the user why it ended itself; here it only stops as Stop does.
    if (runId != m_captureWorker.RunId() || !m_capture->m_running) {
        return;
    }
    StopRun();
}

void VornSession::SetWaitingFor(const QString& nextFrame) {
    if (nextFrame != m_waitingFor) {
        m_waitingFor = nextFrame;
        emit WaitingChanged();
    }
}

bool VornSession::SetDelayTenths(int tenths) {
    if (tenths < kMinDelayTenths || tenths > kMaxDelayTenths) {
        return false;
    }
    m_delayTenths = tenths;
    m_capture->m_captureDelay = static_cast<float>(tenths) / 10.0f;
    emit DelayChanged();
    return true;
}

void VornSession::StepDelay(int delta) {
    int tenths = Stepped(m_delayTenths, delta, kDelayStepTenths);
    if (tenths < kMinDelayTenths) {
        tenths = kMaxDelayTenths;
    } else if (tenths > kMaxDelayTenths) {
        tenths = kMinDelayTenths;
    }
    SetDelayTenths(tenths);
}

int VornSession::FramesTaken() const {
    return m_capture->m_frameCounter - kNoFrames;
}

void VornSession::SetStartFrame(int typed) {
    m_startFrame = Limit(typed, 0, m_endFrame);
    emit DurationChanged();
}

void VornSession::SetEndFrame(int typed) {
    KeepEndFrame(Limit(typed, m_startFrame, FramesTaken()));
    emit DurationChanged();
}

void VornSession::KeepEndFrame(int endFrame) {
    m_endFrame = endFrame;
    // Fewer frames than the start frame (a shorter later run): the start comes down with the end,
    // so the range is never negative.
    m_startFrame = std::min(m_startFrame, m_endFrame);
}

void VornSession::SetGap(int typed) {
    // Held at 1 or more, as the arrows hold it, so that the duration stays finite and the video
    // maker always gets a gap it can step by.
    m_gap = std::max(typed, kMinGap);
    emit DurationChanged();
}

void VornSession::StepStartFrame(int delta) {
    SetStartFrame(Stepped(m_startFrame, delta));
}

void VornSession::StepEndFrame(int delta) {
    SetEndFrame(Stepped(m_endFrame, delta));
}

void VornSession::StepGap(int delta) {
    m_gap = Limit(Stepped(m_gap, delta), kMinGap, kMaxGap);
    emit DurationChanged();
}

void VornSession::StepFps(int delta) {
    m_fpsTenths = Limit(Stepped(m_fpsTenths, delta), kMinFpsTenths, kMaxFpsTenths);
    emit DurationChanged();
}

double VornSession::Duration() const {
    const int frames = std::max(m_endFrame - m_startFrame, 0);
    return static_cast<double>(frames) * 10.0 /
           (static_cast<double>(m_gap) * static_cast<double>(m_fpsTenths));
}

VideoRange VornSession::MakeVideoRange() const {
    return VideoRange{GetFrameDir(), m_startFrame, m_endFrame, m_gap, Rate(), m_videoOptions};
}

bool VornSession::SetVideoOptions(const VideoOptions& options) {
    m_videoOptions = options;
    emit VideoOptionsChanged();
    return StoreVideoOptions(options);
}

DayRules VornSession::DayRulesOfSettings() const {
    const StoredSettings settings = ReadSettings().value_or(DefaultSettings());
    return DayRulesFrom(settings);
}

std::optional<std::string> VornSession::ChooseFramesByTime(VideoRange& range,
                                                           std::string& notice) const {
    const DayRules rules = DayRulesOfSettings();
    FrameChoice choice;
    for (std::size_t i = 0; i < kFrameTimeFieldCount; ++i) {
        const std::string& text = range.options.framesByTime.texts[i];
        if (text.empty()) {
            continue;
        }
        if (std::optional<std::string> trouble =
                SetFrameChoiceOption(choice, kFrameTimeOptions[i], text,
                                     ProjectToday(rules, QDateTime::currentDateTime()))) {
            return "Error. " + *trouble + "!";
        }
    }
    const std::optional<std::vector<int>> numbers = ListFrameNumbers(range.frameDir);
    if (!numbers) {
        return "Error. Can't list the frames in " + ShownFolder(range.frameDir) + "!";
    }
    const ChosenFrames chosen = ChooseFolderFrames(range.frameDir, *numbers, choice, rules, notice);
    if (chosen.frames.empty()) {
        const std::string words = ChoiceInWords(choice);
        return "Error. No frame of " + ShownFolder(range.frameDir) + " was taken" +
               (words.empty() ? "" : " " + words) + "!";
    }
    range.frameNumbers = chosen.Numbers();
    return std::nullopt;
}

void VornSession::VideoMade(const std::string& path) {
    const StoredSettings settings = ReadSettings().value_or(DefaultSettings());
    m_videoHooks.Post(HookFromSettings(settings, HookEvent::Video),
                      {path, std::nullopt, m_clock->WallMs(), GetFrameDir()});
}

ExitCode VornSession::RunAutoStartCapture() {
    bool previewOpen = false;
    std::function<bool(const cv::Mat&)> show;
    if (m_view.showFrame) {
        show = [&](const cv::Mat& frame) {
            if (!previewOpen && m_view.openPreview) {
                m_view.openPreview();
            }
            previewOpen = true;
            return m_view.showFrame(frame);
        };
    }
    int frameNumber = 0;
    const ExitCode result =
        TakeCountedFrame(m_openCamera, *m_clock, show, &frameNumber, *m_freeSpace);
    if (previewOpen && m_view.closePreview) {
        m_view.closePreview();
    }
    if (result == ExitCode::Success) {
        m_capture->m_frameCounter = frameNumber;
        m_autoStartFrameCount = frameNumber - kNoFrames;
    }
    return result;
}
