#include "app/VornDlg.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTimerEvent>

#include "app/SplashWnd.h"
#include "panel/CaptureControls.h"
#include "panel/VideoControls.h"
#include "platform/Numbers.h"
#include "res/DialogTemplates.h"
#include "res/Resource.h"
#include "res/Strings.h"
#include "settings/Settings.h"
#include "widgets/DialogControls.h"
#include "widgets/MessageBox.h"

namespace {

constexpr int kAutoStartTimerMs = 1000;

// What the data exchange says when it refuses a value.
constexpr char kNotAnInteger[] = "Please enter an integer.";
constexpr char kNotANumber[] = "Please enter a number.";
constexpr char kDelayOutOfRange[] = "Please enter a number between 0.1 and 86400.";

}  // namespace

bool OfferToCreateProfile() {
    if (!MissingProfileTrouble()) {
        return true;
    }
    const QString question =
        QCoreApplication::translate("CVornDlg",
                                    "The profile %1 has no settings file yet. Create %2 with the "
                                    "default settings?")
            .arg(QString::fromStdString(ProfileName()), SettingsFilePath());
    if (!AskYesNo(question)) {
        return false;
    }
    CreateDefaultSettings();
    return !MissingProfileTrouble();
}

CVornDlg::CVornDlg(QWidget* parent) : QDialog(parent), m_hIcon(QString::fromLatin1(IDR_MAINFRAME)) {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    CreateControls(*this, kVornDialogTemplate);
    m_captureControls = new CaptureControls(*this, m_session);
    m_videoControls = new VideoControls(*this, m_session);
    // Each camera's window says whose it is.
    if (!ProfileName().empty()) {
        setWindowTitle(tr("%1 - %2").arg(windowTitle(), QString::fromStdString(ProfileName())));
    }
    m_title = windowTitle();
    ConnectMessageTable();
    connect(&m_session, &VornSession::WaitingChanged, this, &CVornDlg::ShowWaiting);
}

void CVornDlg::ShowWaiting() {
    const QString next = m_session.WaitingFor();
    if (next.isEmpty()) {
        setWindowTitle(m_title);
    } else if (next == QLatin1String("never")) {
        setWindowTitle(tr("%1 - outside the capture schedule, which does not open within a year")
                           .arg(m_title));
    } else {
        setWindowTitle(
            tr("%1 - outside the capture schedule: next frame at %2").arg(m_title, next));
    }
}

CVornDlg::~CVornDlg() = default;

int CVornDlg::Run() {
    OnInitDialog();
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::exit);
    show();
    const int result = loop.exec();
    // Closed before its frame was taken: no frame, as when a key stops the warm-up.
    if (m_session.m_autoStart > 0 && !m_autoStartResult) {
        return ToInt(ExitCode::NoFrame);
    }
    return result;
}

void CVornDlg::ConnectMessageTable() {
    auto button = [this](int id) { return GetDlgItemAs<QPushButton>(*this, id); };
    // system command: OnSysCommand (the entries of the context menu, made by CreateSystemMenu)
    // capture controls and video controls: connected by their presenters
    // clicks 1013, 1012: OnProductPage
    connect(button(IDC_NOTICE), &QPushButton::clicked, this, &CVornDlg::OnProductPage);
    connect(button(IDC_HELP_PAGE), &QPushButton::clicked, this, &CVornDlg::OnProductPage);
    // timer: OnTimer, through timerEvent
    connect(button(IDOK), &QPushButton::clicked, this, &CVornDlg::accept);
}

void CVornDlg::OnInitDialog() {
    DoDataExchange(false);
    // the About entry
    CreateSystemMenu();

    setWindowIcon(m_hIcon);
    CreateDefaultSettings();
    m_session.SetFrameDir({});
    // An unattended launch tells it itself, as its run ends for the same reason.
    if (!m_session.LoadSettings() && m_session.m_autoStart <= 0) {
        ShowMessageBox(tr(kCannotFindSettingsMessage));
    }
    if (m_session.m_badSettings && m_session.m_autoStart <= 0) {
        ShowMessageBox(QString::fromStdString(*m_session.m_badSettings));
    }
    if (m_session.m_autoStart > 0) {
        m_timers.SetTimer(kAutoStartTimer, kAutoStartTimerMs);
    }
    m_videoControls->ShowRange();
    m_videoControls->UpdateDuration();
    if (m_session.GetFrameCounter() == kNoFrames || m_session.m_autoStart != 0) {
        EnableDlgItem(*this, IDC_MAKE_VIDEO, false);
    }
    m_videoControls->ShowFps();
    m_captureControls->ShowDelay();
    // Auto-start mode offers no interactive capture: a run started before the timer fires would
    // run beside the auto-start capture.
    EnableDlgItem(*this, IDC_START_STOP, m_session.m_autoStart <= 0);
    CSplashWnd::EnableSplash(true);
    CSplashWnd::ShowSplash(this);
}

bool CVornDlg::DoDataExchange(bool toMembers) {
    VornSession& s = m_session;
    if (!toMembers) {
        m_videoControls->ShowFps();
        SetDlgItemText(*this, IDC_START_FRAME, QString::number(s.m_startFrame));
        SetDlgItemText(*this, IDC_END_FRAME, QString::number(s.m_endFrame));
        SetDlgItemText(*this, IDC_GAP, QString::number(s.m_gap));
        m_videoControls->UpdateDuration();
        m_captureControls->ShowDelay();
        return true;
    }
    // Each value is taken in turn; the first that is refused keeps the dialog open at its control.
    auto refuse = [this](int id, const char* message) {
        ShowMessageBox(tr(message));
        if (QWidget* control = GetDlgItem(*this, id)) {
            control->setFocus();
        }
        return false;
    };
    auto text = [this](int id) { return GetDlgItemText(*this, id).toStdString(); };
    auto exchangeInt = [&](int id, int& member) {
        const std::optional<int> value = ParseWholeInt(text(id));
        if (value) {
            member = *value;
        }
        return value || refuse(id, kNotAnInteger);
    };
    auto isNumber = [&](int id) { return ParseWholeNumber(text(id)) || refuse(id, kNotANumber); };
    if (!isNumber(IDC_FPS) || !exchangeInt(IDC_START_FRAME, s.m_startFrame) ||
        !exchangeInt(IDC_END_FRAME, s.m_endFrame) || !exchangeInt(IDC_GAP, s.m_gap) ||
        !isNumber(IDC_DURATION) || !isNumber(IDC_DELAY)) {
        return false;
    }
    // A gap below 1 would make the duration infinite and leave the video maker nothing to take.
    s.m_gap = std::max(s.m_gap, 1);
    // The range is checked on the number as typed, before it is made a delay.
    const std::optional<int> delay = ParseTenths(text(IDC_DELAY));
    if (!delay || !s.SetDelayTenths(*delay)) {
        return refuse(IDC_DELAY, kDelayOutOfRange);
    }
    return true;
}

void CVornDlg::accept() {
    if (DoDataExchange(true)) {
        QDialog::accept();
    }
}

void CVornDlg::timerEvent(QTimerEvent* event) {
    if (const int id = m_timers.IdOf(event->timerId())) {
        OnTimer(id);
    } else {
        QDialog::timerEvent(event);
    }
}

void CVornDlg::OnTimer(int /*id*/) {
    // The only timer of the dialog; killed first so that the run below, which handles events while
    // it waits for keys, is never started twice.
    m_timers.KillTimer(kAutoStartTimer);
    RunAutoStartCapture();
}

void CVornDlg::RunAutoStartCapture() {
    EnableDlgItem(*this, IDC_START_STOP, false);
    EnableDlgItem(*this, IDC_MAKE_VIDEO, false);
    m_autoStartResult = m_session.RunAutoStartCapture();
    const int code = static_cast<int>(*m_autoStartResult);
    // Every running event loop ends, so the program does, with the run's exit code.
    setResult(code);
    QCoreApplication::exit(code);
}
