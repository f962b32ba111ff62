#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <opencv2/core/mat.hpp>

#include "cameralock/LockPlan.h"
#include "cameralock/V4l2Controls.h"

// A camera as the capture code uses it. One thread uses a source at a time.
class CameraSource {
public:
    virtual ~CameraSource() = default;
    // Grabs the next frame; false when the camera gave none.
    virtual bool Grab() = 0;
    // Decodes the grabbed frame into `frame`, which may share the camera's buffer and is valid
    // until the next grab; false (and `frame` empty) when there is none.
    virtual bool Retrieve(cv::Mat& frame) = 0;
    // Sets a capture property (cv::CAP_PROP_...); the result tells whether the camera took it.
    virtual bool Set(int property, double value) = 0;
    // True for a camera or network stream, which may come back after it stopped sending; false
    // for a file or pipeline, whose failed grab is its end.
    virtual bool Reopenable() const { return false; }
    // The rate a video file plays at, which the capture paces itself to as a camera paces itself;
    // 0 for a camera, stream or pipeline, which send at their own pace.
    virtual double FileFramesPerSecond() const { return 0.0; }
    // Lets the camera meter its scene for `choice` (MeterCamera), then holds it (LockCamera) and
    // returns what the camera did not take, through the controls of its Video4Linux device opened
    // beside the capture. A source that is not such a camera (a file, a stream, most pipelines)
    // goes on as it is.
    virtual void Meter(const CameraLockChoice& /*choice*/) {}
    virtual std::optional<std::string> Lock(const CameraLockChoice& /*choice*/) {
        return std::nullopt;
    }
    // The camera's maker and model, asked once when it was opened; empty for a source that is not
    // a Video4Linux camera.
    virtual CameraIdentity Identity() const { return {}; }
};

// Opens a camera by index, or by `source` (device path, file, stream URL or GStreamer pipeline)
// when that is not empty. Returns null when it cannot be opened.
using CameraOpener =
    std::function<std::unique_ptr<CameraSource>(int index, const std::string& source)>;

// Whether `source` is a GStreamer pipeline: its last element is the application's sink
// ("... ! appsink", with properties of its own if any). An address that merely holds the word is
// not one.
bool IsGStreamerPipeline(const std::string& source);

// The Video4Linux device a camera index or source captures from: /dev/videoN for index N, a
// device path as it stands, the device= of a v4l2src pipeline; empty for any other source.
std::string V4l2DevicePath(int index, const std::string& source);

// Lets a camera that `choice` locks meter its scene as it starts (CameraSource::Meter).
void MeterCameraSource(CameraSource& camera, const CameraLockChoice& choice);
// Holds `choice` on the camera once it has metered (CameraSource::Lock), when it asks anything.
// The sentence that tells what the camera did not take, or nothing.
std::optional<std::string> LockCameraSource(CameraSource& camera, const CameraLockChoice& choice);

// The real camera: cv::VideoCapture. Its calls run on a thread of their own with a time limit,
// so a source that stops sending cannot hold the caller: a call over the limit fails, and so
// does every later one.
std::unique_ptr<CameraSource> OpenVideoCapture(int index, const std::string& source);

// How long opening a source and grabbing one frame may take before the source counts as gone.
inline constexpr int kOpenLimitMs = 10000;
inline constexpr int kGrabLimitMs = 5000;
