#include "app/VornDlg.h"
#include "platform/MessageBox.h"
#include "video/MakingDlg.h"

void CVornDlg::OnMakeVideo() {
    // The capture run and the video maker would both use the preview window.
    if (m_captureWorker.IsRunning()) {
        ShowMessageBox(tr("Please stop the capture before making a video."));
        return;
    }
    CMakingDlg dlg(this);
    dlg.m_frameDir = GetFrameDir();
    dlg.m_fps = static_cast<double>(m_fps);
    dlg.m_startFrame = m_startFrame;
    dlg.m_endFrame = m_endFrame;
    dlg.m_gap = m_gap;
    dlg.DoModal();
}
