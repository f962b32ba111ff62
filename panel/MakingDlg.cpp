#include "panel/MakingDlg.h"

#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QTimerEvent>

#include "res/DialogTemplates.h"
#include "res/Resource.h"
#include "res/Strings.h"
#include "video/VideoAssembly.h"
#include "video/VideoOutput.h"
#include "widgets/DesktopNotification.h"
#include "widgets/DialogControls.h"
#include "widgets/MessageBox.h"
#include "widgets/PreviewWindow.h"
#include "widgets/WebPage.h"

namespace {

constexpr int kAssemblyTimer = 1;
constexpr int kAssemblyDelayMs = 100;

}  // namespace

CMakingDlg::CMakingDlg(QWidget* parent) : QDialog(parent) {
    // No close box: the dialog ends by itself when the video is made.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    CreateControls(*this, kMakingDialogTemplate);
    m_progress = GetDlgItemAs<QProgressBar>(*this, IDC_PROGRESS);
    ConnectMessageTable();
}

void CMakingDlg::ConnectMessageTable() {
    connect(GetDlgItemAs<QPushButton>(*this, IDC_USER_GROUP), &QPushButton::clicked, this,
            &CMakingDlg::OnUserGroupPage);
}

int CMakingDlg::DoModal() {
    OnInitDialog();
    // Modal to the main window only: an application-modal dialog would keep the keys from the
    // preview window, where a key stops the video.
    setWindowModality(Qt::WindowModal);
    return exec();
}

void CMakingDlg::OnInitDialog() {
    m_progress->setRange(0, VideoAssembly::kProgressRange);
    m_progress->setValue(0);
    if (!StartVideo()) {
        m_assembly.reset();
        PostClose();
        return;
    }
    m_timers.SetTimer(kAssemblyTimer, kAssemblyDelayMs);
}

bool CMakingDlg::ProbeFirstFrame() {
    VideoRange range{m_frameDir, m_startFrame, m_endFrame, m_gap, m_fps, m_options};
    range.frameNumbers = m_frameNumbers;
    m_assembly = std::make_unique<VideoAssembly>(std::move(range));
    if (const std::optional<std::string> failure = m_assembly->ProbeFirstFrame()) {
        ShowMessageBox(QString::fromStdString(*failure));
        return false;
    }
    m_frameWidth = m_assembly->FrameSize().width;
    m_frameHeight = m_assembly->FrameSize().height;
    return true;
}

bool CMakingDlg::StartVideo() {
    if (!ProbeFirstFrame()) {
        return false;
    }
    VideoOptions chosen = m_options;
    const std::optional<Compressor> compressor = m_chooseCompressor(this, chosen);
    if (!compressor) {
        return false;  // the user changed their mind: no file and nothing to report
    }
    // Options changed on the way (leaving bad frames out changes which frame gives the size).
    if (chosen != m_options) {
        m_options = chosen;
        if (!ProbeFirstFrame()) {
            return false;
        }
    }
    if (const std::optional<std::string> failure = m_assembly->Open(*compressor)) {
        ShowMessageBox(QString::fromStdString(*failure));
        return false;
    }
    return true;
}

void CMakingDlg::timerEvent(QTimerEvent* event) {
    const int id = m_timers.IdOf(event->timerId());
    if (id != 0) {
        OnTimer(id);
    } else {
        QDialog::timerEvent(event);
    }
}

void CMakingDlg::OnTimer(int /*id*/) {
    // Killed first: the key wait below lets timer events through.
    m_timers.KillTimer(kAssemblyTimer);
    m_assembling = true;
    NamedWindow(kPreviewWindowName);
    m_assembly->SetPreview(true);
    const AssemblyResult result =
        m_assembly->Run([this](const VideoAssembly::Pass& pass) { return AfterPass(pass); });
    m_assembly.reset();
    DestroyWindow(kPreviewWindowName);
    m_assembling = false;
    if (ExitCodeFor(result) == ExitCode::Success) {
        m_madeVideo = VideoPath(m_frameDir, result.videoName);
    }
    const QString closing = QString::fromStdString(ClosingMessage(result, m_frameDir));
    // The user went on with something else while the video was made: the desktop tells them.
    if (QApplication::activeWindow() == nullptr) {
        NotifyDesktop(tr("Video finished"), closing);
    }
    const std::string leftOut = LeftOutList(result);
    ShowMessageBox(closing + QString::fromStdString(leftOut.empty() ? "" : "\n" + leftOut));
    PostClose();
}

bool CMakingDlg::AfterPass(const VideoAssembly::Pass& pass) {
    if (!pass.preview.empty()) {
        ShowImage(kPreviewWindowName, pass.preview);
    }
    m_progress->setValue(pass.position);
    // The wait also repaints both windows and answers clicks; a key in the preview stops. It
    // waits only when there is a new preview to paint, so that it never sets the pace.
    const int key = pass.preview.empty() ? PollKey() : WaitKey(1);
    return key < 0 && !m_stopRequested;
}

void CMakingDlg::OnUserGroupPage() {
    OpenWebPage(kUserGroupUrl);
}

void CMakingDlg::reject() {
    if (m_assembling) {
        m_stopRequested = true;
        return;
    }
    QDialog::reject();
}

void CMakingDlg::done(int result) {
    m_timers.KillTimer(kAssemblyTimer);
    if (!m_assembling) {
        m_assembly.reset();  // a video that was never assembled leaves no file
    }
    QDialog::done(result);
}

void CMakingDlg::PostClose() {
    QMetaObject::invokeMethod(
        this, [this] { close(); }, Qt::QueuedConnection);
}
