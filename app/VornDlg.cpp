#include "app/VornDlg.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimerEvent>
#include <algorithm>
#include <climits>

#include "app/SplashWnd.h"
#include "platform/ArrowPair.h"
#include "platform/Clock.h"
#include "platform/DialogTemplate.h"
#include "platform/MessageBox.h"
#include "platform/Numbers.h"
#include "res/DialogTemplates.h"
#include "res/Resource.h"
#include "res/Strings.h"

namespace {

// What the data exchange says when it refuses a value.
constexpr char kNotAnInteger[] = "Please enter an integer.";
constexpr char kNotANumber[] = "Please enter a number.";
constexpr char kDelayOutOfRange[] = "Please enter a number between 0.1 and 86400.";

// A float as the data exchange writes it into an edit: the shortest form, without trailing
// zeros.
QString FloatText(float value) {
    return QString::asprintf("%.*g", 6, static_cast<double>(value));
}

}  // namespace

CVornDlg::CVornDlg(QWidget* parent)
    : QDialog(parent), m_hIcon(QString::fromLatin1(IDR_MAINFRAME)), m_clock(&DefaultClock()) {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    CreateControls(*this, kVornDialogTemplate);
    ConnectMessageTable();
}

CVornDlg::~CVornDlg() {
    OnDestroy();
}

int CVornDlg::DoModal() {
    OnInitDialog();
    return exec();
}

void CVornDlg::ConnectMessageTable() {
    auto button = [this](int id) { return GetDlgItemAs<QPushButton>(*this, id); };
    // system command: OnSysCommand
    // (the entries of the dialog's context menu, connected where CreateSystemMenu makes them)

    // click 1000: OnStartStop
    connect(button(IDC_START_STOP), &QPushButton::clicked, this, &CVornDlg::OnStartStop);

    // click 1001: OnMakeVideo
    connect(button(IDC_MAKE_VIDEO), &QPushButton::clicked, this, &CVornDlg::OnMakeVideo);

    // arrows 1004, 1011, 1009, 1006: OnDeltaposFpsSpin, OnDeltaposEndSpin, OnDeltaposStartSpin,
    // OnDeltaposGapSpin
    auto arrows = [this](int id) { return GetDlgItemAs<ArrowPair>(*this, id); };
    connect(arrows(IDC_FPS_SPIN), &ArrowPair::DeltaPos, this, &CVornDlg::OnDeltaposFpsSpin);
    connect(arrows(IDC_END_SPIN), &ArrowPair::DeltaPos, this, &CVornDlg::OnDeltaposEndSpin);
    connect(arrows(IDC_START_SPIN), &ArrowPair::DeltaPos, this, &CVornDlg::OnDeltaposStartSpin);
    connect(arrows(IDC_GAP_SPIN), &ArrowPair::DeltaPos, this, &CVornDlg::OnDeltaposGapSpin);

    // clicks 1013, 1012: OnProductPage
    connect(button(IDC_NOTICE), &QPushButton::clicked, this, &CVornDlg::OnProductPage);
    connect(button(IDC_HELP_PAGE), &QPushButton::clicked, this, &CVornDlg::OnProductPage);

    // arrows 1015: OnDeltaposDelaySpin
    connect(arrows(IDC_DELAY_SPIN), &ArrowPair::DeltaPos, this, &CVornDlg::OnDeltaposDelaySpin);

    // timer: OnTimer, through timerEvent

    // click 1024: OnBrowse
    connect(button(IDC_BROWSE), &QPushButton::clicked, this, &CVornDlg::OnBrowse);

    // changes 1010, 1008, 1005: OnChangeEndFrame, OnChangeStartFrame, OnChangeGap
    auto edit = [this](int id) { return GetDlgItemAs<QLineEdit>(*this, id); };
    connect(edit(IDC_END_FRAME), &QLineEdit::textChanged, this, &CVornDlg::OnChangeEndFrame);
    connect(edit(IDC_START_FRAME), &QLineEdit::textChanged, this, &CVornDlg::OnChangeStartFrame);
    connect(edit(IDC_GAP), &QLineEdit::textChanged, this, &CVornDlg::OnChangeGap);

    // change 1014: OnChangeDelay
    connect(edit(IDC_DELAY), &QLineEdit::textChanged, this, &CVornDlg::OnChangeDelay);

    // clicks 1003, 1033: OnPause, OnShowTimestamp
    connect(button(IDC_PAUSE), &QPushButton::clicked, this, &CVornDlg::OnPause);
    // toggled, not clicked: the box may also change by keyboard or an accessibility action.
    connect(GetDlgItemAs<QCheckBox>(*this, IDC_TIMESTAMP), &QCheckBox::toggled, this,
            &CVornDlg::OnShowTimestamp);

    connect(button(IDOK), &QPushButton::clicked, this, &CVornDlg::accept);
}

void CVornDlg::OnInitDialog() {
    DoDataExchange(false);
    // the About entry
    CreateSystemMenu();

    setWindowIcon(m_hIcon);
    m_capture->m_showTimestamp = false;
    m_resolution = 640480;
    CreateDefaultSettings();
    SetFrameDir({});
    m_capture->m_running = false;
    m_capture->m_paused = false;
    m_cameraIndex = 0;
    m_autoStartFrameCount = 0;
    m_autoStart = 0;
    // An unattended launch tells it itself, as its run ends for the same reason.
    if (!LoadSettings() && m_autoStart <= 0) {
        ShowMessageBox(tr(kCannotFindSettingsMessage));
    }
    // Saturated: a count typed near the int limit must not overflow (an unattended run refuses
    // it with its own exit code).
    m_capture->m_frameCounter = static_cast<int>(
        std::min<long long>(static_cast<long long>(m_autoStartFrameCount) + kNoFrames, INT_MAX));
    m_endFrame = m_autoStartFrameCount;
    SetDlgItemText(IDC_END_FRAME, QString::asprintf("%d", m_autoStartFrameCount));
    UpdateDuration();
    if (m_capture->m_frameCounter == kNoFrames || m_autoStart != 0) {
        EnableDlgItem(IDC_MAKE_VIDEO, false);
    }
    SetDlgItemText(IDC_FPS, QString::asprintf("%.1f", static_cast<double>(m_fps)));
    SetDlgItemText(IDC_DELAY,
                   QString::asprintf("%.1f", static_cast<double>(m_capture->m_captureDelay)));
    // Auto-start mode offers no interactive capture: a run started before the timer fires would
    // run beside the auto-start capture.
    EnableDlgItem(IDC_START_STOP, m_autoStart <= 0);
    CSplashWnd::EnableSplash(true);
    CSplashWnd::ShowSplash(this);
}

bool CVornDlg::DoDataExchange(bool toMembers) {
    if (!toMembers) {
        SetDlgItemText(IDC_FPS, FloatText(m_fps));
        SetDlgItemText(IDC_START_FRAME, QString::number(m_startFrame));
        SetDlgItemText(IDC_END_FRAME, QString::number(m_endFrame));
        SetDlgItemText(IDC_GAP, QString::number(m_gap));
        SetDlgItemText(IDC_DURATION, FloatText(m_videoDuration));
        SetDlgItemText(IDC_DELAY, FloatText(m_capture->m_captureDelay));
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
    auto exchangeFloat = [&](int id, auto& member) {
        const std::optional<double> value = ParseWholeNumber(GetDlgItemText(id).toStdString());
        if (value) {
            member = static_cast<float>(*value);
        }
        return value || refuse(id, kNotANumber);
    };
    auto exchangeInt = [&](int id, int& member) {
        const std::optional<int> value = ParseWholeInt(GetDlgItemText(id).toStdString());
        if (value) {
            member = *value;
        }
        return value || refuse(id, kNotAnInteger);
    };
    if (!exchangeFloat(IDC_FPS, m_fps) || !exchangeInt(IDC_START_FRAME, m_startFrame) ||
        !exchangeInt(IDC_END_FRAME, m_endFrame) || !exchangeInt(IDC_GAP, m_gap) ||
        !exchangeFloat(IDC_DURATION, m_videoDuration) ||
        !exchangeFloat(IDC_DELAY, m_capture->m_captureDelay)) {
        return false;
    }
    // A gap below 1 would make the duration infinite and leave the video maker nothing to take.
    m_gap = std::max(m_gap, 1);
    if (m_capture->m_captureDelay < kMinCaptureDelay ||
        m_capture->m_captureDelay > kMaxCaptureDelay) {
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

void CVornDlg::OnDestroy() {
    // A run held by its source is left to end by itself; it keeps what it uses alive.
    m_capture->m_running = false;
    StopCaptureThread();
}

void CVornDlg::SetFrameDir(const std::string& frameDir) {
    m_capture->SetFrameDir(WithTrailingSeparator(frameDir));
    SetDlgItemText(IDC_FRAME_DIR, QString::fromStdString(GetFrameDir()));
}

void CVornDlg::SetDlgItemText(int id, const QString& text) {
    if (auto* edit = GetDlgItemAs<QLineEdit>(*this, id)) {
        // Writing an edit always notifies its change handler, also when the text stays the same.
        if (edit->text() == text) {
            emit edit->textChanged(text);
        } else {
            edit->setText(text);
        }
    } else if (auto* button = GetDlgItemAs<QAbstractButton>(*this, id)) {
        button->setText(text);
        // Screen readers name a button by its caption, which changes here (Start/Stop, Pause).
        button->setAccessibleName(QString(text).remove(QLatin1Char('&')));
    }
}

QString CVornDlg::GetDlgItemText(int id) const {
    if (auto* edit = GetDlgItemAs<QLineEdit>(*this, id)) {
        return edit->text();
    }
    if (auto* button = GetDlgItemAs<QAbstractButton>(*this, id)) {
        return button->text();
    }
    return {};
}

void CVornDlg::EnableDlgItem(int id, bool enable) {
    if (QWidget* control = GetDlgItem(*this, id)) {
        control->setEnabled(enable);
    }
}
