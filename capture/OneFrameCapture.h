#pragma once

#include <functional>
#include <string>

#include "capture/CameraSource.h"
#include "frames/CaptureTime.h"
#include "res/ExitCodes.h"

class Clock;
namespace cv {
class Mat;
}

// What one frame is taken with.
struct OneFrameCapture {
    CameraOpener openCamera;
    int cameraIndex = 0;
    std::string source;   // CAM_SOURCE, or empty for the camera index
    std::string profile;  // the --profile, which shares its camera's device with no other
    int resolution = 640480;
    Clock* clock = nullptr;
    // Shows a frame the camera sent (it may be empty) and tells whether a key asks to stop; none
    // when nobody watches.
    std::function<bool(const cv::Mat&)> showFrame;
    // What to hold of the camera once it has warmed up, before its frame is taken.
    CameraLockChoice lock;
    // Told, once, what of the lock the camera did not take; none when nobody listens.
    std::function<void(const std::string&)> tellLockTrouble;
};

// Opens the camera, lets it warm up for a little more than five seconds, holds what `lock` asks
// and hands the first frame grabbed after that to `keep`, with its capture time and the camera's
// maker and model, and returns what `keep` returns. NoCamera when it cannot be opened; NoFrame
// when the source fails, sends nothing usable for three seconds past the warm-up, or a key stops
// it; CameraBusy when another profile holds the camera's device (DeviceLock) through one warm-up.
// The opener bounds the camera's calls (OpenVideoCapture does): an open or a grab that never
// returns is left behind on the camera's own thread, and the caller should then end the process
// without waiting for it.
ExitCode TakeOneFrame(const OneFrameCapture& capture,
                      const std::function<ExitCode(const cv::Mat&, const FrameStamp&)>& keep);
