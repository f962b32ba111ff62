#include "capture/VideoCaptureModule.h"

#include <cmath>
#include <exception>
#include <opencv2/videoio.hpp>
#include <type_traits>

namespace {

// A cv::VideoCapture; the program runs its calls on a thread of their own.
class VideoCaptureSource final : public CameraSource {
public:
    explicit VideoCaptureSource(const VideoCaptureRequest& request)
        : m_takesSize(request.takesSize), m_reopenable(request.reopenable) {}

    bool Open(const VideoCaptureRequest& request) {
        if (request.source.empty()) {
            m_capture.open(request.index, request.api, request.params);
        } else {
            m_capture.open(request.source, request.api, request.params);
        }
        if (m_capture.isOpened() && request.readsFileRate) {
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

private:
    cv::VideoCapture m_capture;
    bool m_takesSize;
    bool m_reopenable;
    double m_fileFps = 0.0;
};

}  // namespace

extern "C" CameraSource* VornOpenVideoCapture(const VideoCaptureRequest* request) noexcept {
    try {
        auto capture = std::make_unique<VideoCaptureSource>(*request);
        return capture->Open(*request) ? capture.release() : nullptr;
    } catch (const std::exception&) {
        return nullptr;
    }
}

// The loader finds it by the name in the header; a change of type would fail to compile here.
static_assert(std::is_same_v<decltype(VornOpenVideoCapture), OpenVideoCaptureFunction>);
