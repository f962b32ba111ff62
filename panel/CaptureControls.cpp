#include <QFileDialog>
#include <QPointer>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "app/VornDlg.h"
#include "platform/MessageBox.h"
#include "platform/Numbers.h"
#include "platform/UiThread.h"
#include "res/Resource.h"

namespace {

constexpr float kCaptureDelayStep = 1.0f;

}  // namespace

void CVornDlg::OnStartStop() {
    if (!m_capture->m_running) {
        StartCapture();
    } else {
        StopCapture();
    }
}

void CVornDlg::StartCapture() {
    const std::string frameDir = GetFrameDir();
    std::optional<std::vector<int>> agreedFrames = MayReplaceFrames(frameDir);
    if (!agreedFrames) {
        return;
    }
    // A run held by a hung source still owns the frame counter until it ends.
    if (!m_captureWorker.Stop()) {
        ShowMessageBox(tr("The previous capture is still ending; please try again in a moment."));
        return;
    }
    m_capture->m_frameCounter = kNoFrames;
    m_capture->m_paused = false;
    m_capture->m_running = true;
    RemoveStaleTemporaries(frameDir);
    StartCaptureThread(std::move(*agreedFrames));
    ShowRunState();
}

void CVornDlg::StopCapture() {
    m_capture->m_running = false;
    m_capture->m_paused = false;
    StopCaptureThread();
    KeepEndFrame(m_capture->m_frameCounter - kNoFrames);
    SetDlgItemText(IDC_END_FRAME, QString::asprintf("%d", m_endFrame));
    UpdateDuration();
    ShowRunState();
}

void CVornDlg::ShowRunState() {
    const bool running = m_capture->m_running;
    SetDlgItemText(IDC_START_STOP, running ? tr("&Stop") : tr("&Start"));
    EnableDlgItem(IDC_PAUSE, running);
    SetDlgItemText(IDC_PAUSE, m_capture->m_paused ? tr("&Unpause") : tr("&Pause"));
    // Frames can be made into a video once a run has ended.
    if (!running) {
        EnableDlgItem(IDC_MAKE_VIDEO, true);
    }
}

std::optional<std::vector<int>> CVornDlg::MayReplaceFrames(const std::string& frameDir) {
    const QString shownDir = QString::fromStdString(frameDir.empty() ? "./" : frameDir);
    std::optional<std::vector<int>> existing = ListFrameNumbers(frameDir);
    if (!existing) {
        // Frames it cannot see would be replaced without asking.
        ShowMessageBox(tr("The folder %1 cannot be read (%2), so the frames in it cannot be "
                          "checked. The capture does not start.")
                           .arg(shownDir, QString::fromLocal8Bit(std::strerror(errno))));
        return std::nullopt;
    }
    if (existing->empty()) {
        return existing;
    }
    if (!AskYesNo(tr("The folder %1 already holds %n frame(s) from %2 on, which a new capture "
                     "replaces. Replace them?",
                     nullptr, static_cast<int>(existing->size()))
                      .arg(shownDir, QString::fromStdString(FrameFileName(kNoFrames + 1))))) {
        return std::nullopt;
    }
    return existing;
}

bool CVornDlg::StartCaptureThread(std::vector<int> agreedFrames) {
    CaptureRunConfig config{m_openCamera, m_camSource,   m_resolution,
                            m_clock,      GetFrameDir(), std::move(agreedFrames)};
    // Called on the capture thread; the dialog may be gone by the time the call comes.
    auto onEnded = [dlg = QPointer<CVornDlg>(this)](int runId) {
        RunOnUiThread([dlg, runId] {
            if (dlg) {
                dlg->OnCaptureEnded(runId);
            }
        });
    };
    return m_captureWorker.Start(m_capture, std::move(config), std::move(onEnded));
}

bool CVornDlg::StopCaptureThread() {
    return m_captureWorker.Stop();
}

void CVornDlg::OnCaptureEnded(int runId) {
    // The run tells the user why it ended itself; here it only stops as Stop does.
    if (runId != m_captureWorker.RunId() || !m_capture->m_running) {
        return;
    }
    StopCapture();
}

void CVornDlg::OnPause() {
    m_capture->m_paused = !m_capture->m_paused;
    ShowRunState();
}

void CVornDlg::OnShowTimestamp(bool checked) {
    m_capture->m_showTimestamp = checked;
}

int CVornDlg::OnDeltaposDelaySpin(int delta) {
    float delay = delta <= 0 ? m_capture->m_captureDelay + kCaptureDelayStep
                             : m_capture->m_captureDelay - kCaptureDelayStep;
    if (delay < kMinCaptureDelay) {
        delay = kMaxCaptureDelay;
    } else if (delay > kMaxCaptureDelay) {
        delay = kMinCaptureDelay;
    }
    m_capture->m_captureDelay = delay;
    SetDlgItemText(IDC_DELAY, QString::asprintf("%.1f", static_cast<double>(delay)));
    return 0;
}

void CVornDlg::OnChangeDelay() {
    // While the edit is being retyped (empty, 0, half a number) a running capture keeps the last
    // valid delay; Quit refuses a delay out of range.
    const std::optional<double> delay = ParseWholeNumber(GetDlgItemText(IDC_DELAY).toStdString());
    if (delay && *delay >= kMinCaptureDelay && *delay <= kMaxCaptureDelay) {
        m_capture->m_captureDelay = static_cast<float>(*delay);
    }
}

void CVornDlg::OnBrowse() {
    const QString folder = BrowseForFolder(tr("Select folder to store frames"));
    if (folder.isEmpty()) {
        return;  // cancelled: the folder stays as it was
    }
    SetFrameDir(folder.toStdString());
}

QString CVornDlg::BrowseForFolder(const QString& title) {
    return QFileDialog::getExistingDirectory(this, title);
}
