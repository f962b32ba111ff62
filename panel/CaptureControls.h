#pragma once

#include <QObject>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "capture/CaptureLoop.h"

class VornSession;
class QWidget;

// The window's capture view: the preview window and message boxes, which a capture thread may
// call.
CaptureView WindowCaptureView();

// The window's capture controls (Start/Stop, Pause, timestamp, delay, frame folder) over the
// session: user actions go to the session, the session's changes come back to the controls.
class CaptureControls : public QObject {
    Q_OBJECT
public:
    CaptureControls(QWidget& dialog, VornSession& session);

    void OnStartStop();
    void OnPause();
    void OnShowTimestamp(bool checked);
    int OnDeltaposDelaySpin(int delta);
    void OnChangeDelay();
    void OnBrowse();
    // The folder the user chose, or the empty text when the browser was cancelled.
    QString BrowseForFolder(const QString& title);
    // Sets the run controls from the run state: the captions and enabled state of Start/Stop and
    // Pause, and Make video once a run has ended.
    void ShowRunState();
    // Shows the delay with one decimal, as the arrows leave it.
    void ShowDelay();

private:
    void StartCapture();
    // Asks before a run replaces frames already in `frameDir`: the numbers of the frames the
    // user agreed to replace, or nothing when the run must not start (the user said no, or the
    // folder cannot be read, which is told).
    std::optional<std::vector<int>> MayReplaceFrames(const std::string& frameDir);

    QWidget& m_dialog;
    VornSession& m_session;
};
