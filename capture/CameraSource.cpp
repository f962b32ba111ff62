#include "capture/CameraSource.h"

#include <opencv2/videoio.hpp>

namespace {

class VideoCaptureSource final : public CameraSource {
public:
    VideoCaptureSource(cv::VideoCapture capture, bool takesSize)
        : m_capture(std::move(capture)), m_takesSize(takesSize) {}

    bool Grab() override { return m_capture.grab(); }

    bool Retrieve(cv::Mat& frame) override {
        // A failed retrieve may leave the previous frame in `frame` (FFmpeg does).
        const bool retrieved = m_capture.retrieve(frame) && !frame.empty();
        if (!retrieved) {
            frame.release();
        }
        return retrieved;
    }

    bool Set(int property, double value) override {
        return m_takesSize && m_capture.set(property, value);
    }

private:
    cv::VideoCapture m_capture;
    bool m_takesSize;
};

}  // namespace

namespace {

// How long a network stream may take to open, or to deliver a frame, before it counts as gone.
constexpr int kNetworkTimeoutMs = 5000;

bool IsNetworkStream(const std::string& source) {
    return source.find("://") != std::string::npos;
}

bool IsGStreamerPipeline(const std::string& source) {
    return source.find("appsink") != std::string::npos;
}

void OpenSource(cv::VideoCapture& capture, const std::string& source) {
    if (IsNetworkStream(source)) {
        // Only FFmpeg gives up on a stalled stream by itself; without a limit a dead camera on
        // the network would hold the capture forever.
        capture.open(source, cv::CAP_FFMPEG,
                     {cv::CAP_PROP_OPEN_TIMEOUT_MSEC, kNetworkTimeoutMs,
                      cv::CAP_PROP_READ_TIMEOUT_MSEC, kNetworkTimeoutMs});
    } else if (IsGStreamerPipeline(source)) {
        capture.open(source, cv::CAP_GSTREAMER);
    } else {
        capture.open(source, cv::CAP_ANY);
    }
}

}  // namespace

std::unique_ptr<CameraSource> OpenVideoCapture(int index, const std::string& source) {
    cv::VideoCapture capture;
    try {
        if (source.empty()) {
            capture.open(index);
        } else {
            OpenSource(capture, source);
        }
    } catch (const cv::Exception&) {
        return nullptr;  // a source a backend refuses is no camera
    }
    if (!capture.isOpened()) {
        return nullptr;
    }
    // OpenCV rebuilds a GStreamer pipeline's caps for a new size, which stops a pipeline that
    // fixes its own: a pipeline keeps the size it was written with.
    return std::make_unique<VideoCaptureSource>(std::move(capture), !IsGStreamerPipeline(source));
}
