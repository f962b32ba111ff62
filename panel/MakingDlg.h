#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "panel/CompressorDlg.h"
#include "platform/WindowTimers.h"
#include "video/VideoAssembly.h"

class QProgressBar;

// The progress dialog that writes a range of frame files into output.avi in the frame folder.
// Everything happens on the UI thread: the assembly runs inside one call of the dialog's timer,
// and its key wait keeps the windows painted and answering between frames. The encoders use
// threads of their own.
class CMakingDlg : public QDialog {
    Q_OBJECT
public:
    explicit CMakingDlg(QWidget* parent = nullptr);

    // Initialisation, then the modal run, which ends when the dialog has closed itself.
    int DoModal();
    // Learns the picture size from the first frame of the range, asks for the compressor,
    // starts the video and the timer of the assembly. When any of it fails, the dialog closes
    // itself.
    void OnInitDialog();
    // The assembly: writes the chosen frames, finishes the file, reports what was made and closes
    // the dialog.
    void OnTimer(int id);
    void OnUserGroupPage();

    // How the compressor is chosen.
    void SetCompressorChooser(CompressorChooser choose) { m_chooseCompressor = std::move(choose); }

    QProgressBar* m_progress;
    // The video being made, from initialisation to the end of the assembly.
    std::unique_ptr<VideoAssembly> m_assembly;
    int m_startFrame = 0;
    int m_endFrame = 50;
    FrameRate m_fps;
    int m_gap = 1;
    // Frames chosen by the time they were taken: when there are any, these instead of the range.
    std::vector<int> m_frameNumbers;
    std::string m_frameDir;
    // Name, width, length, bad frames left out: handed to the assembly. The compressor choice
    // may change them; the caller finds them here afterwards.
    VideoOptions m_options;
    int m_frameHeight = 480;
    int m_frameWidth = 640;
    // The video's path once it is complete under its name; empty until then, and when it is not.
    std::string m_madeVideo;

public slots:
    // While the assembly runs, stops it after the current frame instead; the assembly then
    // closes the dialog itself.
    void reject() override;
    // Abandons a video that was not assembled however the dialog ends.
    void done(int result) override;

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void ConnectMessageTable();
    // Starts the assembly of the range with m_options and learns the frames' size.
    bool ProbeFirstFrame();
    bool StartVideo();
    bool AfterPass(const VideoAssembly::Pass& pass);
    void PostClose();

    CompressorChooser m_chooseCompressor = ChooseCompressor;
    WindowTimers m_timers{*this};
    bool m_assembling = false;
    bool m_stopRequested = false;
};
