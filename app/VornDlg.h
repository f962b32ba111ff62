#pragma once

#include <QDialog>
#include <QIcon>
#include <QPointer>

#include "platform/WindowTimers.h"
#include "session/VornSession.h"

class CaptureControls;
class VideoControls;
class FramesDlg;
class QMenu;

// With a profile whose settings file is missing: asks whether to create it with the default
// settings, and does on Yes. False when the user said No or the file could not be made; true
// when there is a file (or no profile).
bool OfferToCreateProfile();

// The main window: its layout and wiring. What it does is the session's; its control groups are
// presenters of their own.
class CVornDlg : public QDialog {
    Q_OBJECT
public:
    explicit CVornDlg(QWidget* parent = nullptr);
    ~CVornDlg() override;

    // The start-up sequence, then the window until it closes. The window is not modal: keys reach
    // the preview window, which a modal window would keep them from. Returns the exit code of an
    // auto-start run (ExitCode), or the dialog's result.
    int Run();
    void OnInitDialog();
    // Copies the session's values into the controls, or the controls into the session with
    // validation; false (after a message) when a value is refused.
    bool DoDataExchange(bool toMembers);

    VornSession& Session() { return m_session; }

    // Runs a command of the window menu: a standard window command, the video options, Schedule
    // and camera, the frame browser or the About entry.
    void OnSysCommand(int id);
    // Lets the user choose the video maker's options and keeps them in the settings file.
    void OnVideoOptions();
    // Opens the frame browser, or brings it to the front; the range chosen in it becomes the
    // video's.
    void OnFrames();
    // The window's menu: the right click's and the More button's.
    QMenu* WindowMenu() const { return m_systemMenu; }
    void OnProductPage();

    // Auto-start capture, started by the first tick of this timer (set at start-up in auto-start
    // mode).
    static constexpr int kAutoStartTimer = 1;
    void OnTimer(int id);
    bool IsTimerActive(int id) const { return m_timers.IsActive(id); }

    QIcon m_hIcon;

protected:
    void accept() override;
    void timerEvent(QTimerEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ConnectMessageTable();
    // The window menu belongs to the window manager; the dialog offers its commands and the
    // About entry in a context menu of its own, also on the keyboard from any control.
    void CreateSystemMenu();
    void RunAutoStartCapture();
    // Puts in the title when a run that waits for its schedule takes its next frame.
    void ShowWaiting();

    VornSession m_session;
    CaptureControls* m_captureControls;
    VideoControls* m_videoControls;
    WindowTimers m_timers{*this};
    QMenu* m_systemMenu = nullptr;
    QPointer<FramesDlg> m_framesDlg;
    QString m_title;  // the template's, without what a waiting run adds
    // The exit code of the auto-start run, once it has run.
    std::optional<ExitCode> m_autoStartResult;
};
