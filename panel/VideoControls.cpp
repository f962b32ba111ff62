#include <algorithm>
#include <climits>

#include "app/VornDlg.h"
#include "platform/Numbers.h"
#include "res/Resource.h"

namespace {

constexpr int kMinGap = 1;
constexpr int kMaxGap = 10;
constexpr float kMinFps = 10.0f;
constexpr float kMaxFps = 50.0f;
constexpr float kFpsStep = 0.1f;

// The lower limit first; only a value not below it is held to the upper one, so an upper limit
// below the lower one leaves the lower.
template <class T>
T Limit(T value, T lower, T upper) {
    if (value < lower) {
        return lower;
    }
    return value > upper ? upper : value;
}

// One step from `value` as an arrow asks: no change or a negative one (the upper arrow) raises.
// A value already at the end of the int range stays there; the limits then apply.
int Stepped(int value, int delta) {
    if (delta <= 0) {
        return value == INT_MAX ? value : value + 1;
    }
    return value == INT_MIN ? value : value - 1;
}

}  // namespace

void CVornDlg::UpdateDuration() {
    const int frames = std::max(m_endFrame - m_startFrame, 0);
    m_videoDuration = static_cast<float>(static_cast<double>(frames) /
                                         (static_cast<double>(m_gap) * static_cast<double>(m_fps)));
    SetDlgItemText(IDC_DURATION, QString::asprintf("%.2f", static_cast<double>(m_videoDuration)));
}

void CVornDlg::OnChangeStartFrame() {
    m_startFrame = Limit(ParseInt(GetDlgItemText(IDC_START_FRAME).toStdString()), 0, m_endFrame);
    UpdateDuration();
}

void CVornDlg::OnChangeEndFrame() {
    KeepEndFrame(Limit(ParseInt(GetDlgItemText(IDC_END_FRAME).toStdString()), m_startFrame,
                       m_capture->m_frameCounter - kNoFrames));
    UpdateDuration();
}

void CVornDlg::KeepEndFrame(int endFrame) {
    m_endFrame = endFrame;
    // Fewer frames than the start frame (a shorter later run): the start comes down with the end,
    // so the range is never negative.
    if (m_startFrame > m_endFrame) {
        SetDlgItemText(IDC_START_FRAME, QString::asprintf("%d", m_endFrame));
    }
}

void CVornDlg::OnChangeGap() {
    // Held at 1 or more, as the arrows hold it, so that the duration stays finite and the video
    // maker always gets a gap it can step by; the edit keeps what was typed.
    m_gap = std::max(ParseInt(GetDlgItemText(IDC_GAP).toStdString()), kMinGap);
    UpdateDuration();
}

int CVornDlg::OnDeltaposStartSpin(int delta) {
    m_startFrame = Limit(Stepped(m_startFrame, delta), 0, m_endFrame);
    SetDlgItemText(IDC_START_FRAME, QString::asprintf("%d", m_startFrame));
    UpdateDuration();
    return 0;
}

int CVornDlg::OnDeltaposEndSpin(int delta) {
    KeepEndFrame(
        Limit(Stepped(m_endFrame, delta), m_startFrame, m_capture->m_frameCounter - kNoFrames));
    SetDlgItemText(IDC_END_FRAME, QString::asprintf("%d", m_endFrame));
    UpdateDuration();
    return 0;
}

int CVornDlg::OnDeltaposGapSpin(int delta) {
    m_gap = Limit(Stepped(m_gap, delta), kMinGap, kMaxGap);
    SetDlgItemText(IDC_GAP, QString::asprintf("%d", m_gap));
    UpdateDuration();
    return 0;
}

int CVornDlg::OnDeltaposFpsSpin(int delta) {
    // Stepped in single precision and never rounded to tenths: the edit shows one decimal.
    m_fps = Limit(delta <= 0 ? m_fps + kFpsStep : m_fps - kFpsStep, kMinFps, kMaxFps);
    SetDlgItemText(IDC_FPS, QString::asprintf("%.1f", static_cast<double>(m_fps)));
    UpdateDuration();
    return 0;
}
