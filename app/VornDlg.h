#pragma once

#include <QDialog>
#include <QIcon>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "capture/CameraSource.h"
#include "frames/FrameFile.h"
#include "platform/WindowTimers.h"

class Clock;
class QMenu;

// The main dialog. It owns the dialog state that every part of the program shares; the capture
// thread reads it through the dialog it is given.
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
    void OnShowTimestamp();
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
    // Safe to call from any thread.
    void IncrementFrameCounter() { ++m_frameCounter; }
    // Safe to call from any thread.
    int GetFrameCounter() const { return m_frameCounter; }
    // Safe to call from any thread.
    std::string GetFrameDir() const;
    // Safe to call from any thread.
    void SetFrameDir(std::string frameDir);
    // Opens camera `index` (or the configured source) through the camera opener.
    std::unique_ptr<CameraSource> OpenCamera(int index) const {
        return m_openCamera(index, m_camSource);
    }
    // Starts a capture thread running CaptureThreadProc with this dialog, once a previous one
    // still finishing its last pass has ended; the new run's flag and frame counter are kept.
    void StartCaptureThread();
    // Waits up to `ms` for the capture thread to end, handling queued calls meanwhile (the thread
    // may be waiting for a message box on this thread); true when it has ended.
    bool WaitForCaptureThread(int ms);
    // Waits for the capture thread to end, however long its last pass takes, and joins it.
    void JoinCaptureThread();

    void OnDestroy();
    bool IsTimerActive(int id) const { return m_timers.IsActive(id); }

    // Dialog state.
    float m_fps = 25.0f;
    int m_startFrame = 0;
    int m_endFrame = 0;
    int m_gap = 1;
    float m_videoDuration = 0.0f;
    std::atomic<float> m_captureDelay{1.0f};
    QIcon m_hIcon;
    int m_cameraIndex = 0;
    int m_autoStart = 0;
    int m_resolution = 640480;
    std::thread m_hCaptureThread;
    std::atomic<bool> m_captureThreadDone{true};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_showTimestamp{false};
    std::atomic<bool> m_paused{false};
    std::atomic<int> m_frameCounter{kNoFrames};
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
    Clock* m_clock;
    WindowTimers m_timers{*this};
    mutable std::mutex m_frameDirMutex;
    std::string m_frameDir;  // guarded by m_frameDirMutex
    QMenu* m_systemMenu = nullptr;
};

// Splits a resolution code into capture width and height.
struct CaptureSize {
    int width;
    int height;
};
CaptureSize SplitResolutionCode(int code);
