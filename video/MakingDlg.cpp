#include "video/MakingDlg.h"

#include <QProgressBar>
#include <QPushButton>
#include <QTimerEvent>
#include <algorithm>
#include <opencv2/imgproc.hpp>

#include "app/WebLinks.h"
#include "frames/FrameFile.h"
#include "platform/DialogTemplate.h"
#include "platform/MessageBox.h"
#include "platform/PreviewWindow.h"
#include "res/DialogTemplates.h"
#include "res/Resource.h"
#include "res/Strings.h"
#include "video/VideoFile.h"

namespace {

constexpr int kAssemblyTimer = 1;
constexpr int kAssemblyDelayMs = 100;
constexpr int kFirstFrameNumber = kNoFrames + 1;  // the frame number of index 0
constexpr int kProgressRange = 1000;
constexpr char kVideoFileName[] = "output.avi";

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
    return exec();
}

void CMakingDlg::OnInitDialog() {
    m_progress->setRange(0, kProgressRange);
    m_progress->setValue(0);
    if (!ProbeFrameSize() || !CreateWriter()) {
        PostClose();
        return;
    }
    m_timers.SetTimer(kAssemblyTimer, kAssemblyDelayMs);
}

bool CMakingDlg::ProbeFrameSize() {
    const std::string name = FrameFileName(m_startFrame + kFirstFrameNumber);
    const cv::Mat first = ReadFrame(m_frameDir + name);
    if (first.empty()) {
        ShowMessageBox(
            QString::fromStdString("Error. Can't find " + name + " in " + m_frameDir + "!"));
        return false;
    }
    m_frameWidth = first.cols;
    m_frameHeight = first.rows;
    return true;
}

bool CMakingDlg::CreateWriter() {
    const std::optional<int> fourcc = m_chooseCompressor(this);
    if (!fourcc) {
        return false;  // the user changed their mind: no file and nothing to report
    }
    const cv::Size size(m_frameWidth, m_frameHeight);
    if (!OpenVideoWriter(m_writer, m_frameDir + kVideoFileName, *fourcc, m_fps, size)) {
        ShowMessageBox(QString::fromStdString(std::string("Error. Can't create ") + kVideoFileName +
                                              " in " + m_frameDir + "!"));
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
    for (int i = m_startFrame; i < m_endFrame; ++i) {
        const bool read = AssembleFrame(i);
        // The wait also repaints both windows and answers clicks; a key in the preview stops.
        if (WaitKey(1) >= 0 || !read || m_stopRequested) {
            break;
        }
    }
    m_writer.release();
    DestroyWindow(kPreviewWindowName);
    m_assembling = false;
    ShowMessageBox(tr("Video (output.avi) created"));
    PostClose();
}

bool CMakingDlg::AssembleFrame(int index) {
    const int n = index + 1;
    bool read = true;
    // Aligned to frame number 10000, not to the start of the range.
    if (n % std::max(m_gap, 1) == 0) {
        cv::Mat frame = ReadFrame(m_frameDir + FrameFileName(index + kFirstFrameNumber));
        read = !frame.empty();
        if (read) {
            WriteFrame(frame);
            ShowImage(kPreviewWindowName, frame);
        }
    }
    m_progress->setValue(ProgressPosition(n));
    return read;
}

void CMakingDlg::WriteFrame(cv::Mat& frame) {
    // The writer silently drops a frame whose size is not the video's; fit it instead.
    const cv::Size size(m_frameWidth, m_frameHeight);
    if (frame.size() != size) {
        cv::resize(frame, frame, size, 0, 0, cv::INTER_LINEAR);
    }
    m_writer.write(frame);
}

int CMakingDlg::ProgressPosition(int n) const {
    return static_cast<int>(static_cast<double>(n - m_startFrame) /
                            static_cast<double>(m_endFrame - m_startFrame) * kProgressRange);
}

void CMakingDlg::OnUserGroupPage() {
    OpenUserGroupPage();
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
    m_writer.release();
    QDialog::done(result);
}

void CMakingDlg::PostClose() {
    QMetaObject::invokeMethod(
        this, [this] { close(); }, Qt::QueuedConnection);
}
