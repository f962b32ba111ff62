#pragma once

#include <QDialog>
#include <QIcon>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/CameraSource.h"
#include "capture/CaptureShared.h"
#include "capture/CaptureWorker.h"
#include "platform/WindowTimers.h"

class Clock;
class QMenu;

// The main dialog. It owns the dialog state that every part of the program shares, and the
// capture worker with the state it shares with the capture runs.
class CVornDlg : public QDialog {
    Q_OBJECT
public:
    explicit CVornDlg(QWidget* parent = nullptr);
    ~CVornDlg() override;

    // The start-up sequence, then the modal run.
    int DoModal();
    void OnInitDialog();
    // Copies the members into the controls, or the controls into the members with validation;
    // false (after a message) when a value is refused.
    bool DoDataExchange(bool toMembers);

    // The camera and the clock the captures use; tests replace them.
    void SetCameraOpener(CameraOpener opener) { m_openCamera = std::move(opener); }
    void SetClock(Clock& clock) { m_clock = &clock; }
    Clock& GetClock() const { return *m_clock; }

    // Settings.
    void CreateDefaultSettings();
    bool LoadSettings();

    // Video parameters.
    void UpdateDuration();
    void OnChangeStartFrame();
    void OnChangeEndFrame();
    void OnChangeGap();
    // The arrow handlers take the proposed change and return the notification's result.
    int OnDeltaposStartSpin(int delta);
    int OnDeltaposEndSpin(int delta);
    int OnDeltaposGapSpin(int delta);
    int OnDeltaposFpsSpin(int delta);

    // Capture controls.
    void OnStartStop();
    void OnPause();
    void OnShowTimestamp(bool checked);
    int OnDeltaposDelaySpin(int delta);
    void OnChangeDelay();
    void OnBrowse();
    // The folder the user chose, or the empty text when the browser was cancelled.
    QString BrowseForFolder(const QString& title);

    // Video maker.
    void OnMakeVideo();

    // About box and web links.
    // Runs a command of the window menu: a standard window command, or the About entry.
    void OnSysCommand(int id);
    void OnProductPage();

    // Auto-start capture, started by the first tick of this timer (set by LoadSettings).
    static constexpr int kAutoStartTimer = 1;

    // The delay between saved frames, in seconds, is kept within these.
    static constexpr float kMinCaptureDelay = 0.1f;
    static constexpr float kMaxCaptureDelay = 86400.0f;
    void OnTimer(int id);
    void RunAutoStartCapture();

    // Capture.
    // Opens camera `index` (or the configured source) through the camera opener.
    std::unique_ptr<CameraSource> OpenCamera(int index) const {
        return m_openCamera(index, m_camSource);
    }
    int GetFrameCounter() const { return m_capture->m_frameCounter; }
    std::string GetFrameDir() const { return m_capture->GetFrameDir(); }
    // The one place the frame folder is set: with its separator added, shown in its edit.
    void SetFrameDir(const std::string& frameDir);
    // Starts a capture run with this dialog's camera, clock and settings; it may replace the
    // frames `agreedFrames` of the frame folder and no other file. False (after telling the user)
    // when the previous run has not ended yet.
    bool StartCaptureThread(std::vector<int> agreedFrames = {});
    // Asks the run to stop and waits for it up to a second; true when it has ended.
    bool StopCaptureThread();
    // Waits up to `ms` for the run to end; true when it has.
    bool WaitForCaptureThread(int ms) const { return m_captureWorker.WaitForEnd(ms); }
    // A run ended: unless it was stopped from here, the window shows the stopped state.
    void OnCaptureEnded(int runId);

    void OnDestroy();
    bool IsTimerActive(int id) const { return m_timers.IsActive(id); }

    // Dialog state.
    float m_fps = 25.0f;
    int m_startFrame = 0;
    int m_endFrame = 0;
    int m_gap = 1;
    float m_videoDuration = 0.0f;
    QIcon m_hIcon;
    int m_cameraIndex = 0;
    int m_autoStart = 0;
    int m_resolution = 640480;
    // The state shared with the capture runs, which keep it alive while they end.
    std::shared_ptr<CaptureShared> m_capture = std::make_shared<CaptureShared>();
    int m_autoStartFrameCount = 0;
    // A camera source other than a camera index (CAM_SOURCE), or empty.
    std::string m_camSource;

protected:
    void accept() override;
    void timerEvent(QTimerEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void ConnectMessageTable();
    // The window menu belongs to the window manager; the dialog offers its commands and the
    // About entry in a context menu of its own.
    void CreateSystemMenu();
    void SetDlgItemText(int id, const QString& text);
    QString GetDlgItemText(int id) const;
    void EnableDlgItem(int id, bool enable);

    CameraOpener m_openCamera = OpenVideoCapture;
    // Takes `endFrame` as the end of the range, bringing the start down to it when it lies beyond.
    void KeepEndFrame(int endFrame);
    // Capture controls.
    void StartCapture();
    void StopCapture();
    // Sets the run controls from the run state: the captions and enabled state of Start/Stop and
    // Pause, and Make video once a run has ended.
    void ShowRunState();
    // Asks before a run replaces frames already in `frameDir`: the numbers of the frames the
    // user agreed to replace, or nothing when the run must not start (the user said no, or the
    // folder cannot be read, which is told).
    std::optional<std::vector<int>> MayReplaceFrames(const std::string& frameDir);

    Clock* m_clock;
    WindowTimers m_timers{*this};
    QMenu* m_systemMenu = nullptr;
    CaptureWorker m_captureWorker;
};
