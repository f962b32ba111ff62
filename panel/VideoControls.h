#pragma once

#include <QObject>
#include <utility>

class VornSession;
class QWidget;

// The window's video controls (start and end frame, gap, frame rate, duration, Make video) over
// the session: user actions go to the session, the session's changes come back to the controls.
class VideoControls : public QObject {
    Q_OBJECT
public:
    VideoControls(QWidget& dialog, VornSession& session);

    void OnChangeStartFrame();
    void OnChangeEndFrame();
    void OnChangeGap();
    // The arrow handlers take the proposed change and return the notification's result.
    int OnDeltaposStartSpin(int delta);
    int OnDeltaposEndSpin(int delta);
    int OnDeltaposGapSpin(int delta);
    int OnDeltaposFpsSpin(int delta);
    void OnMakeVideo();

    // Writes the range's start and end into their edits.
    void ShowRange();
    void ShowFps();
    void UpdateDuration();
    // The range's controls are used only when the frames are chosen by number.
    void ShowFramesBy();
    // Puts the range from frame number `first` to `last` (pic_10001.jpg is 10001) in the Start
    // frame and End frame edits, as typing them would.
    void ShowChosenRange(int first, int last);
    // The numbers of the range's first and last frame.
    std::pair<int, int> RangeFrameNumbers() const;

private:
    void ShowNumber(int id, int value);

    QWidget& m_dialog;
    VornSession& m_session;
};
