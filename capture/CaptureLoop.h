#pragma once

#include <QString>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "capture/CameraSource.h"
#include "capture/SaveConditions.h"
#include "hooks/Hook.h"
#include "platform/Clock.h"

struct CaptureShared;
namespace cv {
class Mat;
}

// What a capture run shows the user, each called on the capture thread; an empty one shows
// nothing. The window hands in its preview window and message boxes.
struct CaptureView {
    // Opens the preview before the first frame, and closes it once the camera is released.
    std::function<void()> openPreview;
    std::function<void()> closePreview;
    // Shows a preview frame; true when a key pressed in the preview asks the run to end.
    std::function<bool(const cv::Mat&)> showFrame;
    // Tells the user something without waiting for an answer: nothing may hold the run.
    std::function<void(const QString&)> tell;
};

// What one capture run is given when it starts.
struct CaptureRunConfig {
    CameraOpener openCamera = OpenVideoCapture;
    std::string camSource;  // empty: camera 0
    std::string profile;    // the --profile, which shares its camera's device with no other
    int resolution = 640480;
    Clock* clock = nullptr;
    // The frames the user agreed to replace when the run started: their folder and their
    // numbers, ascending. Any other file already under a number is kept and the run moves past
    // it.
    std::string agreedDir;
    std::vector<int> agreedFrames;
    // What to hold of the camera once the run has gone for kLockAfter.
    CameraLockChoice lock;
    // The schedule, the free-space floor and latest.jpg.
    SaveConditions conditions;
    // Called on the capture thread when the run starts waiting for the schedule, with the local
    // time its next frame is due ("06:12", "2024-06-02 06:12", or "never" when the schedule does
    // not open within a year), and with an empty text once frames are saved again.
    std::function<void(const std::string& nextFrame)> tellWaiting;
    CaptureView view;
    // Called on the capture thread with each frame once it is saved under its final name; it
    // must not wait (the window hands the frame to its hook's queue). None when nothing listens.
    std::function<void(const HookFile& frame)> frameSaved;
};

// Why a capture run ended.
enum class CaptureEnd {
    Stopped,      // asked to stop
    Key,          // a key was pressed in the preview
    NoCamera,     // the source could not be opened
    SourceEnded,  // a file or pipeline reached its end, or a grab failed
    SourceLost,   // a camera or stream stopped sending and could not be opened again in time
    CameraBusy,   // another profile held the camera's device for as long as the lock waits
};

// The message that tells the user why a run ended by itself, or empty when there is none to tell.
std::string CaptureEndMessage(CaptureEnd end);

// A run's camera is locked this long after the run starts, once it has metered its scene.
inline constexpr Seconds kLockAfter{5.0f};

// A camera or stream that stopped sending is opened again this often, for this long.
inline constexpr Seconds kReopenInterval{2.0f};
inline constexpr Seconds kReopenFor{60.0f};

// One capture run, from opening the camera to closing the preview, on the calling thread. Ends
// when `stop` is requested, `shared.m_running` is cleared, a key is pressed in the preview or the
// source ends. Tells the user of failures through `config.view`, without waiting for them.
CaptureEnd CaptureThreadProc(const std::stop_token& stop, CaptureShared& shared,
                             const CaptureRunConfig& config);

// A capture size, as a resolution code packs it.
struct CaptureSize {
    int width;
    int height;
};
// Splits a resolution code into capture width and height.
CaptureSize SplitResolutionCode(int code);

// Asks `camera` for the capture size that a resolution code packs; the camera may ignore it.
void SetCaptureSize(CameraSource& camera, int resolutionCode);

// Draws `text`, the local time, onto `frame` in white at (10, 60).
void DrawTimestamp(cv::Mat& frame, const std::string& text);
