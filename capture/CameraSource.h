#pragma once

#include <functional>
#include <memory>
#include <string>

#include <opencv2/core/mat.hpp>

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
};

// Opens a camera by index, or by `source` (device path, file, stream URL or GStreamer pipeline)
// when that is not empty. Returns null when it cannot be opened.
using CameraOpener =
    std::function<std::unique_ptr<CameraSource>(int index, const std::string& source)>;

// The real camera: cv::VideoCapture.
std::unique_ptr<CameraSource> OpenVideoCapture(int index, const std::string& source);
