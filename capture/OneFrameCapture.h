#pragma once

#include <functional>
#include <string>

#include "capture/CameraSource.h"

class Clock;
namespace cv {
class Mat;
}

// How a launch that takes one frame ends; the values are the process's exit codes.
enum class TakeFrameResult {
    Saved = 0,            // saved completely and counted
    BadCommandLine = 2,   // unknown option or bad option value
    SettingsMissing = 3,  // settings file missing or unreadable, or a required value missing
    NoCamera = 4,         // the camera or source cannot be opened
    NoFrame = 5,          // the source sent nothing, ended during the warm-up, or a key stopped it
    NotSaved = 6,         // folder missing, not writable, disk full
    NoFreeNumber = 7,     // every frame number from the next one on is taken; none overwritten
    CountNotStored = 8,   // the settings file cannot be written; no frame taken
    CountOutOfRange = 9,  // the stored count is below 0 or leaves no frame number
    // 10 to 14 are --make-video's.
    BadSetting = 15,          // a setting's value is bad (the message names the key)
    OutsideSchedule = 16,     // outside the capture schedule: no frame taken, count unchanged
    LowFreeSpace = 17,        // free space below MIN_FREE_MB: no frame taken, count unchanged
    BrokenInstallation = 18,  // a module of the program is missing, unreadable or damaged
};

// What one frame is taken with.
struct OneFrameCapture {
    CameraOpener openCamera;
    int cameraIndex = 0;
    std::string source;  // CAM_SOURCE, or empty for the camera index
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
// and hands the first frame grabbed after that to `keep`, whose result is returned. NoCamera when
// it cannot be opened; NoFrame when the source fails, sends nothing usable for three seconds past
// the warm-up, or a key stops it. The opener bounds the camera's calls (OpenVideoCapture does): an
// open or a grab that never returns is left behind on the camera's own thread, and the caller
// should then end the process without waiting for it.
TakeFrameResult TakeOneFrame(const OneFrameCapture& capture,
                             const std::function<TakeFrameResult(const cv::Mat&)>& keep);
