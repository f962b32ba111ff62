#include "panel/VideoControls.h"

#include <QLineEdit>
#include <QPushButton>

#include "frames/FrameFile.h"
#include "panel/MakingDlg.h"
#include "platform/Numbers.h"
#include "res/Resource.h"
#include "res/Strings.h"
#include "session/VornSession.h"
#include "widgets/ArrowPair.h"
#include "widgets/DialogControls.h"
#include "widgets/MessageBox.h"

VideoControls::VideoControls(QWidget& dialog, VornSession& session)
    : QObject(&dialog), m_dialog(dialog), m_session(session) {
    auto arrows = [&](int id) { return GetDlgItemAs<ArrowPair>(dialog, id); };
    connect(arrows(IDC_FPS_SPIN), &ArrowPair::DeltaPos, this, &VideoControls::OnDeltaposFpsSpin);
    connect(arrows(IDC_END_SPIN), &ArrowPair::DeltaPos, this, &VideoControls::OnDeltaposEndSpin);
    connect(arrows(IDC_START_SPIN), &ArrowPair::DeltaPos, this,
            &VideoControls::OnDeltaposStartSpin);
    connect(arrows(IDC_GAP_SPIN), &ArrowPair::DeltaPos, this, &VideoControls::OnDeltaposGapSpin);
    auto edit = [&](int id) { return GetDlgItemAs<QLineEdit>(dialog, id); };
    connect(edit(IDC_END_FRAME), &QLineEdit::textChanged, this, &VideoControls::OnChangeEndFrame);
    connect(edit(IDC_START_FRAME), &QLineEdit::textChanged, this,
            &VideoControls::OnChangeStartFrame);
    connect(edit(IDC_GAP), &QLineEdit::textChanged, this, &VideoControls::OnChangeGap);
    connect(GetDlgItemAs<QPushButton>(dialog, IDC_MAKE_VIDEO), &QPushButton::clicked, this,
            &VideoControls::OnMakeVideo);

    connect(&session, &VornSession::RangeReset, this, &VideoControls::ShowRange);
    connect(&session, &VornSession::DurationChanged, this, &VideoControls::UpdateDuration);
    connect(&session, &VornSession::VideoOptionsChanged, this, &VideoControls::ShowFramesBy);
}

void VideoControls::ShowFramesBy() {
    // Frames chosen by time come from the whole folder: the range does not choose them.
    const bool byNumber = !m_session.m_videoOptions.framesByTime.on;
    for (const int id : {IDC_START_FRAME, IDC_START_SPIN, IDC_END_FRAME, IDC_END_SPIN, IDC_GAP,
                         IDC_GAP_SPIN, IDC_DURATION}) {
        EnableDlgItem(m_dialog, id, byNumber);
    }
}

void VideoControls::ShowNumber(int id, int value) {
    SetDlgItemText(m_dialog, id, QString::number(value));
}

void VideoControls::ShowRange() {
    // The end first: the start is held to it.
    const int start = m_session.m_startFrame;
    ShowNumber(IDC_END_FRAME, m_session.m_endFrame);
    ShowNumber(IDC_START_FRAME, start);
    ShowFramesBy();
}

void VideoControls::ShowChosenRange(int first, int last) {
    // The range counts from the first frame, kNoFrames + 1, and ends after its last frame.
    const int start = first - kNoFrames - 1;
    const int end = last - kNoFrames;
    // Each edit is held to the other: the one that moves away from the other goes first.
    if (end >= m_session.m_startFrame) {
        ShowNumber(IDC_END_FRAME, end);
        ShowNumber(IDC_START_FRAME, start);
    } else {
        ShowNumber(IDC_START_FRAME, start);
        ShowNumber(IDC_END_FRAME, end);
    }
}

std::pair<int, int> VideoControls::RangeFrameNumbers() const {
    return {m_session.m_startFrame + kNoFrames + 1, m_session.m_endFrame + kNoFrames};
}

void VideoControls::ShowFps() {
    const int tenths = m_session.m_fpsTenths;
    SetDlgItemText(m_dialog, IDC_FPS, QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10));
}

void VideoControls::UpdateDuration() {
    SetDlgItemText(m_dialog, IDC_DURATION, QString::asprintf("%.2f", m_session.Duration()));
}

void VideoControls::OnChangeStartFrame() {
    m_session.SetStartFrame(ParseInt(GetDlgItemText(m_dialog, IDC_START_FRAME).toStdString()));
}

void VideoControls::OnChangeEndFrame() {
    const int start = m_session.m_startFrame;
    m_session.SetEndFrame(ParseInt(GetDlgItemText(m_dialog, IDC_END_FRAME).toStdString()));
    // Fewer frames than the start frame: the start came down with the end.
    if (m_session.m_startFrame != start) {
        ShowNumber(IDC_START_FRAME, m_session.m_startFrame);
    }
}

void VideoControls::OnChangeGap() {
    // The edit keeps what was typed; the session holds the gap at 1 or more.
    m_session.SetGap(ParseInt(GetDlgItemText(m_dialog, IDC_GAP).toStdString()));
}

int VideoControls::OnDeltaposStartSpin(int delta) {
    m_session.StepStartFrame(delta);
    ShowNumber(IDC_START_FRAME, m_session.m_startFrame);
    return 0;
}

int VideoControls::OnDeltaposEndSpin(int delta) {
    m_session.StepEndFrame(delta);
    ShowNumber(IDC_END_FRAME, m_session.m_endFrame);
    return 0;
}

int VideoControls::OnDeltaposGapSpin(int delta) {
    m_session.StepGap(delta);
    ShowNumber(IDC_GAP, m_session.m_gap);
    return 0;
}

int VideoControls::OnDeltaposFpsSpin(int delta) {
    m_session.StepFps(delta);
    ShowFps();
    return 0;
}

void VideoControls::OnMakeVideo() {
    // The capture run and the video maker would both use the preview window.
    if (m_session.CaptureThreadRunning()) {
        ShowMessageBox(tr("Please stop the capture before making a video."));
        return;
    }
    VideoRange range = m_session.MakeVideoRange();
    if (range.options.framesByTime.on) {
        std::string notice;
        const std::optional<std::string> trouble = m_session.ChooseFramesByTime(range, notice);
        if (!notice.empty()) {
            ShowMessageBox(QString::fromStdString(notice));
        }
        if (trouble) {
            ShowMessageBox(QString::fromStdString(*trouble));
            return;
        }
    }
    CMakingDlg dlg(&m_dialog);
    dlg.m_frameDir = range.frameDir;
    dlg.m_fps = range.fps;
    dlg.m_startFrame = range.startFrame;
    dlg.m_endFrame = range.endFrame;
    dlg.m_gap = range.gap;
    dlg.m_frameNumbers = range.frameNumbers;
    dlg.m_options = range.options;
    dlg.DoModal();
    if (!dlg.m_madeVideo.empty()) {
        m_session.VideoMade(dlg.m_madeVideo);
    }
    // Chosen on the way, in the compressor choice: kept for the next video.
    if (dlg.m_options != range.options && !m_session.SetVideoOptions(dlg.m_options)) {
        ShowMessageBox(tr(kCannotStoreVideoOptions));
    }
}
