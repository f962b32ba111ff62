#include "capture/CameraSource.h"

#include <opencv2/videoio.hpp>

namespace {

class VideoCaptureSource final : public CameraSource {
public:
    explicit VideoCaptureSource(cv::VideoCapture capture) : m_capture(std::move(capture)) {}

    bool Grab() override { return m_capture.grab(); }

    bool Retrieve(cv::Mat& frame) override {
        // A failed retrieve may leave the previous frame in `frame` (FFmpeg does).
        const bool retrieved = m_capture.retrieve(frame) && !frame.empty();
        if (!retrieved) {
            frame.release();
        }
        return retrieved;
    }

    bool Set(int property, double value) override { return m_capture.set(property, value); }

private:
    cv::VideoCapture m_capture;
};

}  // namespace

std::unique_ptr<CameraSource> OpenVideoCapture(int index, const std::string& source) {
    cv::VideoCapture capture;
    if (source.empty()) {
        capture.open(index);
    } else {
        capture.open(source, cv::CAP_ANY);
    }
    if (!capture.isOpened()) {
        return nullptr;
    }
    return std::make_unique<VideoCaptureSource>(std::move(capture));
}
