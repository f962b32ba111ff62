#include "app/VornDlg.h"
#include "res/Resource.h"

void CVornDlg::UpdateDuration() {
    const int frames = m_endFrame - m_startFrame;
    m_videoDuration = static_cast<float>(static_cast<double>(frames) /
                                         (static_cast<double>(m_gap) * static_cast<double>(m_fps)));
    SetDlgItemText(IDC_DURATION, QString::asprintf("%.2f", static_cast<double>(m_videoDuration)));
}
