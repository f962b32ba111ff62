#pragma once

#include <QObject>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/CameraSource.h"
#include "capture/CaptureLoop.h"
#include "capture/CaptureShared.h"
#include "capture/CaptureWorker.h"
#include "capture/OneFrameCapture.h"
#include "capture/SaveConditions.h"
#include "hooks/Hook.h"
#include "platform/FreeSpace.h"
#include "timeline/FrameChoice.h"
#include "video/VideoAssembly.h"

class Clock;

// What the main window does, without its widgets: the capture run, the video parameters as exact
// numbers, and the values of the settings file. The views change it through its methods and learn
// of its changes through its signals; tests drive it without a window. UI thread only, but for
// the state shared with the capture run (m_capture), which is safe from any thread.
class VornSession : public QObject {
    Q_OBJECT
public:
    // The ranges the arrows and the edits keep the values in.
    static constexpr int kMinGap = 1;
    static constexpr int kMaxGap = 10;
    static constexpr int kMinFpsTenths = 100;
    static constexpr int kMaxFpsTenths = 500;
    static constexpr int kMinDelayTenths = 1;        // 0.1 s
    static constexpr int kMaxDelayTenths = 864'000;  // a day

    explicit VornSession(QObject* parent = nullptr);
    // Stops a run and waits for it a moment; a run held by its source ends by itself later.
    ~VornSession() override;

    // The camera and the clock the captures use; tests replace them.
    void SetCameraOpener(CameraOpener opener) { m_openCamera = std::move(opener); }
    void SetClock(Clock& clock) { m_clock = &clock; }
    // The free space the floor is held against; tests replace it. The probe must outlive the
    // session's runs.
    void SetFreeSpaceProbe(const FreeSpaceProbe& probe) { m_freeSpace = &probe; }
    Clock& GetClock() const { return *m_clock; }
    // What the runs show: the window's preview and message boxes. Without one they show nothing.
    void SetCaptureView(CaptureView view) { m_view = std::move(view); }
    // Opens camera `index` (or the configured source) through the camera opener.
    std::unique_ptr<CameraSource> OpenCamera(int index) const {
        return m_openCamera(index, m_camSource);
    }

    // Takes the values of the settings file; false (and standard error names them) when one is
    // missing or unreadable, and the members of those keep what they had.
    bool LoadSettings();

    // The frame folder, empty or ending with '/'. Safe to call from any thread.
    std::string GetFrameDir() const { return m_capture->GetFrameDir(); }
    // The one place the frame folder is set: the separator is added.
    void SetFrameDir(const std::string& frameDir);
    int GetFrameCounter() const { return m_capture->m_frameCounter; }

    // The capture run.
    bool IsRunning() const { return m_capture->m_running; }
    // Starts a run that may replace the frames `agreedFrames` of the frame folder and no other
    // file, with the schedule, free-space floor and latest.jpg the settings file holds now; false
    // when the previous run has not ended yet or a setting is bad (the user is told by Told).
    bool StartRun(std::vector<int> agreedFrames);
    // While a run waits for the schedule to open: when its next frame is due ("06:12",
    // "2024-06-02 06:12", "never"); else empty.
    QString WaitingFor() const { return m_waitingFor; }
    // Stops the run; the frames it took become the end of the video range.
    void StopRun();
    void SetPaused(bool paused);
    void SetShowTimestamp(bool show) { m_capture->m_showTimestamp = show; }
    // Starts the run's thread with this session's camera, clock and settings, as StartRun does
    // once the run state is set; false when the previous run has not ended yet.
    bool StartCaptureThread(std::vector<int> agreedFrames = {});
    // Asks the run to stop and waits for it up to a second; true when it has ended.
    bool StopCaptureThread() { return m_captureWorker.Stop(); }
    // Waits up to `ms` for the run to end; true when it has.
    bool WaitForCaptureThread(int ms) const { return m_captureWorker.WaitForEnd(ms); }
    bool CaptureThreadRunning() const { return m_captureWorker.IsRunning(); }

    // The delay between saved frames, in tenths of a second.
    int DelayTenths() const { return m_delayTenths; }
    // Takes a delay within the range; false (and nothing changes) for one outside it.
    bool SetDelayTenths(int tenths);
    // One step of the arrows, a second up (delta <= 0) or down, wrapping at the ends.
    void StepDelay(int delta);

    // The video range and rate. The setters take what an edit holds and keep it within range.
    void SetStartFrame(int typed);
    void SetEndFrame(int typed);
    void SetGap(int typed);
    // One step of each value's arrows: up for delta <= 0, down otherwise.
    void StepStartFrame(int delta);
    void StepEndFrame(int delta);
    void StepGap(int delta);
    void StepFps(int delta);
    // The video's length in seconds.
    double Duration() const;
    // The video's frame rate: exactly the tenths shown.
    FrameRate Rate() const { return {m_fpsTenths, 10}; }
    VideoRange MakeVideoRange() const;
    // Takes the video maker's options and stores them in the settings file; false when they
    // could not be stored (they are taken all the same).
    bool SetVideoOptions(const VideoOptions& options);
    // With the frames chosen by time: the frames of the folder that the Video options' time
    // fields choose, put in `range`. Nothing, or the message that says why no video can be made;
    // `notice` receives what the user should know besides (frames placed by their file time).
    std::optional<std::string> ChooseFramesByTime(VideoRange& range, std::string& notice) const;
    // Where a day starts and the longitude of solar noon, as the settings file holds them now.
    DayRules DayRulesOfSettings() const;

    // Hands the video the window made, complete at `path`, to ON_VIDEO, which runs beside the
    // window.
    void VideoMade(const std::string& path);

    // One frame as the unattended mode takes it, shown through the capture view, where a key ends
    // the warm-up without a frame. The exit code of the launch.
    ExitCode RunAutoStartCapture();

    // Values of the settings file.
    int m_cameraIndex = 0;
    int m_autoStart = 0;
    int m_resolution = 640480;
    int m_autoStartFrameCount = 0;
    // A camera source other than a camera index (CAM_SOURCE), or empty.
    std::string m_camSource;
    // CAMERA_LOCK and POWER_LINE_HZ, held by each run once it has gone for a few seconds.
    CameraLockChoice m_cameraLock;
    // What is bad in the values of the settings file, naming the keys; empty when nothing is.
    std::optional<std::string> m_badSettings;

    // The video parameters.
    int m_fpsTenths = 250;
    int m_startFrame = 0;
    int m_endFrame = 0;
    int m_gap = 1;
    // The video maker's options, from the settings file.
    VideoOptions m_videoOptions;

    // What the runs ask of each saved frame: the schedule, the free-space floor, latest.jpg. Read
    // from the settings file by StartRun; asks nothing until then.
    SaveConditions m_saveConditions;

    // The state shared with the capture runs, which keep it alive while they end.
    std::shared_ptr<CaptureShared> m_capture = std::make_shared<CaptureShared>();

signals:
    // A run started, stopped (by the user or by itself) or was paused or resumed.
    void RunStateChanged();
    // The session moved the end of the range (and the start with it), as after a run.
    void RangeReset();
    // Any value of the video range or rate changed, and so perhaps the duration.
    void DurationChanged();
    // The video maker's options changed: the frames may now be chosen by time, or by number.
    void VideoOptionsChanged();
    void DelayChanged();
    void FrameDirChanged();
    // A run started or stopped waiting for the schedule: see WaitingFor.
    void WaitingChanged();
    // Something the user must be told before the session goes on, such as why a run did not
    // start.
    void Told(const QString& text);

private:
    // The last frame the range may end at: the frames taken so far.
    int FramesTaken() const;
    // Takes `endFrame` as the end of the range, bringing the start down to it when it lies beyond.
    void KeepEndFrame(int endFrame);
    // A run ended: unless it was stopped from here, the session stops as Stop does.
    void OnCaptureEnded(int runId);
    void SetWaitingFor(const QString& nextFrame);

    int m_delayTenths = 10;
    // The real camera runs its calls on a thread of its own with time limits, so that a source
    // that hangs never holds the window.
    CameraOpener m_openCamera = OpenVideoCapture;
    Clock* m_clock;
    const FreeSpaceProbe* m_freeSpace = &DefaultFreeSpace();
    CaptureView m_view;
    QString m_waitingFor;
    // One run at a time, each with a stop request of its own, so that a run still ending can
    // never take over the next one's counter.
    CaptureWorker m_captureWorker;
    // ON_FRAME as the run that started last read it.
    Hook m_frameHook;
    // The hooks run beside the window, each on a thread of its own; their failures go to standard
    // error each time and to the window once. Last: they may still tell of a failure while the
    // session ends. A run that outlives the session keeps its frames' queue alive.
    std::shared_ptr<HookQueue> m_frameHooks;
    HookQueue m_videoHooks;
};
