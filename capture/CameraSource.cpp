#include "capture/CameraSource.h"

#include <cmath>
#include <opencv2/videoio.hpp>
#include <sstream>

#include "cameralock/CameraLock.h"
#include "cameralock/V4l2Controls.h"
#include "capture/BoundedCamera.h"

namespace {

// How long a network stream may take to open, or to deliver a frame, before FFmpeg gives up.
constexpr int kNetworkTimeoutMs = 5000;

}  // namespace

bool IsGStreamerPipeline(const std::string& source) {
    const std::size_t bang = source.rfind('!');
    const std::size_t start =
        source.find_first_not_of(" \t", bang == std::string::npos ? 0 : bang + 1);
    if (start == std::string::npos) {
        return false;
    }
    const std::size_t end = source.find_first_of(" \t", start);
    return source.compare(start, end == std::string::npos ? std::string::npos : end - start,
                          "appsink") == 0;
}

namespace {

// The device= of a pipeline's v4l2src element ("v4l2src device=/dev/video1 ! … ! appsink"), or
// empty when it has none.
std::string V4l2SourceDevice(const std::string& pipeline) {
    std::istringstream elements(pipeline);
    std::string element;
    while (std::getline(elements, element, '!')) {
        std::istringstream words(element);
        std::string word;
        if (!(words >> word) || word != "v4l2src") {
            continue;
        }
        while (words >> word) {
            if (word.starts_with("device=")) {
                word.erase(0, 7);
                std::erase(word, '"');
                std::erase(word, '\'');
                return word;
            }
        }
    }
    return {};
}

bool IsNetworkStream(const std::string& source) {
    return !IsGStreamerPipeline(source) && source.find("://") != std::string::npos;
}

// A video file or image sequence: what is neither a camera, a stream nor a pipeline.
bool IsVideoFile(const std::string& source) {
    return !source.empty() && !IsGStreamerPipeline(source) && !IsNetworkStream(source) &&
           !source.starts_with("/dev/");
}

// A camera (by index or device) or a network stream can come back after a hiccup.
bool IsReopenable(const std::string& source) {
    return source.empty() || source.starts_with("/dev/") || IsNetworkStream(source);
}

void OpenSource(cv::VideoCapture& capture, int index, const std::string& source) {
    if (source.empty()) {
        // Cameras on Linux are Video4Linux devices; the other backends' probing of buses that
        // hold no camera only costs time.
        capture.open(index, cv::CAP_V4L2);
    } else if (IsGStreamerPipeline(source)) {
        // Before the address test: a pipeline may well hold an address of its own.
        capture.open(source, cv::CAP_GSTREAMER);
    } else if (IsNetworkStream(source)) {
        // FFmpeg gives up on a stalled stream by itself, which lets a failed open end cleanly.
        capture.open(source, cv::CAP_FFMPEG,
                     {cv::CAP_PROP_OPEN_TIMEOUT_MSEC, kNetworkTimeoutMs,
                      cv::CAP_PROP_READ_TIMEOUT_MSEC, kNetworkTimeoutMs});
    } else if (source.starts_with("/dev/")) {
        capture.open(source, cv::CAP_V4L2);
    } else {
        // A video file or image sequence: FFmpeg reads them all, and a missing one fails at once
        // rather than after every other backend's probe.
        capture.open(source, cv::CAP_FFMPEG);
    }
}

}  // namespace

std::string V4l2DevicePath(int index, const std::string& source) {
    if (source.empty()) {
        // OpenCV's Video4Linux backend opens camera N as this node.
        return "/dev/video" + std::to_string(index);
    }
    if (IsGStreamerPipeline(source)) {
        return V4l2SourceDevice(source);
    }
    return source.starts_with("/dev/") ? source : std::string();
}

void MeterCameraSource(CameraSource& camera, const CameraLockChoice& choice) {
    if (choice.lock) {
        camera.Meter(choice);
    }
}

std::string LockCameraSource(CameraSource& camera, const CameraLockChoice& choice) {
    if (!choice.AsksAnything()) {
        return {};
    }
    return camera.Lock(choice);
}

namespace {

// A cv::VideoCapture; OpenVideoCapture runs its calls on a thread of their own.
class VideoCaptureSource final : public CameraSource {
public:
    explicit VideoCaptureSource(const std::string& source)
        : m_takesSize(!IsGStreamerPipeline(source)), m_reopenable(IsReopenable(source)) {}

    bool Open(int index, const std::string& source) {
        OpenSource(m_capture, index, source);
        m_device = V4l2DevicePath(index, source);
        if (m_capture.isOpened() && IsVideoFile(source)) {
            const double fps = m_capture.get(cv::CAP_PROP_FPS);
            m_fileFps = std::isfinite(fps) && fps > 0.0 ? fps : 0.0;
        }
        return m_capture.isOpened();
    }

    bool Grab() override { return m_capture.grab(); }

    bool Retrieve(cv::Mat& frame) override {
        // A failed retrieve may leave the previous frame in place (FFmpeg does).
        const bool retrieved = m_capture.retrieve(frame) && !frame.empty();
        if (!retrieved) {
            frame.release();
        }
        return retrieved;
    }

    // OpenCV rebuilds a GStreamer pipeline's caps for a new size, which stops a pipeline that
    // fixes its own: a pipeline keeps the size it was written with.
    bool Set(int property, double value) override {
        return m_takesSize && m_capture.set(property, value);
    }

    bool Reopenable() const override { return m_reopenable; }
    double FileFramesPerSecond() const override { return m_fileFps; }
    void Meter(const CameraLockChoice& choice) override {
        if (const auto controls = OpenControls()) {
            MeterCamera(*controls, choice);
        }
    }
    std::string Lock(const CameraLockChoice& choice) override {
        const auto controls = OpenControls();
        return controls ? LockCamera(*controls, choice) : std::string();
    }

private:
    std::unique_ptr<CameraControls> OpenControls() const {
        return m_device.empty() ? nullptr : OpenV4l2Controls(m_device);
    }

    cv::VideoCapture m_capture;
    std::string m_device;  // the Video4Linux device, or empty
    bool m_takesSize;
    bool m_reopenable;
    double m_fileFps = 0.0;
};

std::unique_ptr<CameraSource> OpenUnbounded(int index, const std::string& source) {
    auto capture = std::make_unique<VideoCaptureSource>(source);
    if (!capture->Open(index, source)) {
        return nullptr;
    }
    return capture;
}

}  // namespace

std::unique_ptr<CameraSource> OpenVideoCapture(int index, const std::string& source) {
    return BoundedOpener(OpenUnbounded, std::chrono::milliseconds(kOpenLimitMs),
                         std::chrono::milliseconds(kGrabLimitMs))(index, source);
}
