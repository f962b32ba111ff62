#include <QFileDialog>
#include <clocale>
#include <cstdlib>

#include "app/VornDlg.h"
#include "res/Resource.h"

namespace {

constexpr float kCaptureDelayStep = 1.0f;

// A decimal number as atof reads it (leading blanks skipped, the longest number prefix taken, 0
// when there is none), always with the decimal point that the program writes, whatever the
// user's locale says.
double ParseFloat(const QString& text) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    return strtod_l(text.toStdString().c_str(), nullptr, cLocale);
}

}  // namespace

void CVornDlg::OnStartStop() {
    if (!m_running) {
        m_frameCounter = kNoFrames;
        SetFrameDir(WithTrailingSeparator(GetDlgItemText(IDC_FRAME_DIR).toStdString()));
        SetDlgItemText(IDC_START_STOP, tr("&Stop"));
        m_running = true;
        StartCaptureThread();
        EnableDlgItem(IDC_PAUSE, true);
        m_paused = false;
        SetDlgItemText(IDC_PAUSE, tr("&Pause"));
    } else {
        SetDlgItemText(IDC_START_STOP, tr("&Start"));
        m_running = false;
        WaitForCaptureThread(1000);
        m_endFrame = m_frameCounter - kNoFrames;
        SetDlgItemText(IDC_END_FRAME, QString::asprintf("%d", m_endFrame));
        UpdateDuration();
        EnableDlgItem(IDC_MAKE_VIDEO, true);
        EnableDlgItem(IDC_PAUSE, false);
        m_paused = false;
        SetDlgItemText(IDC_PAUSE, tr("&Pause"));
    }
}

void CVornDlg::OnPause() {
    m_paused = !m_paused;
    SetDlgItemText(IDC_PAUSE, m_paused ? tr("&Unpause") : tr("&Pause"));
}

void CVornDlg::OnShowTimestamp() {
    // The check box marks itself; both start clear, so the flag follows it.
    m_showTimestamp = !m_showTimestamp;
}

int CVornDlg::OnDeltaposDelaySpin(int delta) {
    float delay =
        delta <= 0 ? m_captureDelay + kCaptureDelayStep : m_captureDelay - kCaptureDelayStep;
    if (delay < kMinCaptureDelay) {
        delay = kMaxCaptureDelay;
    } else if (delay > kMaxCaptureDelay) {
        delay = kMinCaptureDelay;
    }
    m_captureDelay = delay;
    SetDlgItemText(IDC_DELAY, QString::asprintf("%.1f", static_cast<double>(delay)));
    return 0;
}

void CVornDlg::OnChangeDelay() {
    // No range test: a running capture takes what is typed; Quit refuses a delay out of range.
    m_captureDelay = static_cast<float>(ParseFloat(GetDlgItemText(IDC_DELAY)));
}

void CVornDlg::OnBrowse() {
    SetFrameDir(
        WithTrailingSeparator(BrowseForFolder(tr("Select folder to store frames")).toStdString()));
    SetDlgItemText(IDC_FRAME_DIR, QString::fromStdString(GetFrameDir()));
}

QString CVornDlg::BrowseForFolder(const QString& title) {
    return QFileDialog::getExistingDirectory(this, title);
}
