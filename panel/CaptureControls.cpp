#include "panel/CaptureControls.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <cerrno>
#include <cstring>

#include "frames/FrameFile.h"
#include "platform/Numbers.h"
#include "res/Resource.h"
#include "res/Strings.h"
#include "session/VornSession.h"
#include "widgets/ArrowPair.h"
#include "widgets/DialogControls.h"
#include "widgets/MessageBox.h"
#include "widgets/PreviewWindow.h"

namespace {

QString ShownFolderText(const std::string& frameDir) {
    return QString::fromStdString(ShownFolder(frameDir));
}

}  // namespace

CaptureView WindowCaptureView() {
    return {
        [] { NamedWindow(kPreviewWindowName); },
        [] { DestroyWindow(kPreviewWindowName); },
        [](const cv::Mat& frame) {
            ShowImage(kPreviewWindowName, frame);
            return WaitKey(10) >= 0;
        },
        [](const QString& text) { PostMessageBox(text); },
    };
}

CaptureControls::CaptureControls(QWidget& dialog, VornSession& session)
    : QObject(&dialog), m_dialog(dialog), m_session(session) {
    auto button = [&](int id) { return GetDlgItemAs<QPushButton>(dialog, id); };
    connect(button(IDC_START_STOP), &QPushButton::clicked, this, &CaptureControls::OnStartStop);
    connect(button(IDC_PAUSE), &QPushButton::clicked, this, &CaptureControls::OnPause);
    // toggled, not clicked: the box may also change by keyboard or an accessibility action.
    connect(GetDlgItemAs<QCheckBox>(dialog, IDC_TIMESTAMP), &QCheckBox::toggled, this,
            &CaptureControls::OnShowTimestamp);
    connect(GetDlgItemAs<ArrowPair>(dialog, IDC_DELAY_SPIN), &ArrowPair::DeltaPos, this,
            &CaptureControls::OnDeltaposDelaySpin);
    connect(GetDlgItemAs<QLineEdit>(dialog, IDC_DELAY), &QLineEdit::textChanged, this,
            &CaptureControls::OnChangeDelay);
    connect(button(IDC_BROWSE), &QPushButton::clicked, this, &CaptureControls::OnBrowse);

    session.SetCaptureView(WindowCaptureView());
    connect(&session, &VornSession::Told, this, [](const QString& text) { ShowMessageBox(text); });
    connect(&session, &VornSession::RunStateChanged, this, &CaptureControls::ShowRunState);
    connect(&session, &VornSession::FrameDirChanged, this, [this] {
        SetDlgItemText(m_dialog, IDC_FRAME_DIR, QString::fromStdString(m_session.GetFrameDir()));
    });
}

void CaptureControls::OnStartStop() {
    if (!m_session.IsRunning()) {
        StartCapture();
    } else {
        m_session.StopRun();
    }
}

void CaptureControls::StartCapture() {
    std::optional<std::vector<int>> agreedFrames = MayReplaceFrames(m_session.GetFrameDir());
    if (agreedFrames) {
        m_session.StartRun(std::move(*agreedFrames));
    }
}

void CaptureControls::ShowRunState() {
    const bool running = m_session.IsRunning();
    SetDlgItemText(m_dialog, IDC_START_STOP, running ? tr("&Stop") : tr("&Start"));
    EnableDlgItem(m_dialog, IDC_PAUSE, running);
    SetDlgItemText(m_dialog, IDC_PAUSE,
                   m_session.m_capture->m_paused ? tr("&Unpause") : tr("&Pause"));
    // Frames can be made into a video once a run has ended.
    if (!running) {
        EnableDlgItem(m_dialog, IDC_MAKE_VIDEO, true);
    }
}

std::optional<std::vector<int>> CaptureControls::MayReplaceFrames(const std::string& frameDir) {
    std::optional<std::vector<int>> existing = ListFrameNumbers(frameDir);
    if (!existing) {
        // Frames it cannot see would be replaced without asking.
        ShowMessageBox(
            tr("The folder %1 cannot be read (%2), so the frames in it cannot be "
               "checked. The capture does not start.")
                .arg(ShownFolderText(frameDir), QString::fromLocal8Bit(std::strerror(errno))));
        return std::nullopt;
    }
    if (existing->empty()) {
        return existing;
    }
    const QString frames = existing->size() == 1
                               ? tr("1 frame")
                               : tr("%1 frames").arg(static_cast<qulonglong>(existing->size()));
    if (!AskYesNo(tr("The folder %1 already holds %2 from %3 on, which a new capture replaces. "
                     "Replace them?")
                      .arg(ShownFolderText(frameDir), frames,
                           QString::fromStdString(FrameFileName(kNoFrames + 1))))) {
        return std::nullopt;
    }
    return existing;
}

void CaptureControls::OnPause() {
    m_session.SetPaused(!m_session.m_capture->m_paused);
}

void CaptureControls::OnShowTimestamp(bool checked) {
    m_session.SetShowTimestamp(checked);
}

int CaptureControls::OnDeltaposDelaySpin(int delta) {
    m_session.StepDelay(delta);
    ShowDelay();
    return 0;
}

void CaptureControls::ShowDelay() {
    const int tenths = m_session.DelayTenths();
    SetDlgItemText(m_dialog, IDC_DELAY, QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10));
}

void CaptureControls::OnChangeDelay() {
    // While the edit is being retyped (empty, 0, half a number) a running capture keeps the last
    // valid delay; Quit refuses a delay out of range.
    if (const std::optional<int> tenths =
            ParseTenths(GetDlgItemText(m_dialog, IDC_DELAY).toStdString())) {
        m_session.SetDelayTenths(*tenths);
    }
}

void CaptureControls::OnBrowse() {
    const QString folder = BrowseForFolder(tr("Select folder to store frames"));
    if (folder.isEmpty()) {
        return;  // cancelled: the folder stays as it was
    }
    m_session.SetFrameDir(folder.toStdString());
}

QString CaptureControls::BrowseForFolder(const QString& title) {
    return QFileDialog::getExistingDirectory(&m_dialog, title);
}
