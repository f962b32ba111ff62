#include "capture/CameraSource.h"

#include <opencv2/videoio.hpp>
#include <sstream>

#include "cameralock/CameraLock.h"
#include "cameralock/V4l2Controls.h"
#include "capture/BoundedCamera.h"
#include "capture/VideoCaptureModule.h"
#include "platform/LoadableModule.h"

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

// The backend and its parameters for a source.
VideoCaptureRequest RequestFor(int index, const std::string& source) {
    VideoCaptureRequest request{.index = index,
                                .source = source,
                                .api = cv::CAP_ANY,
                                .params = {},
                                .takesSize = !IsGStreamerPipeline(source),
                                .reopenable = IsReopenable(source),
                                .readsFileRate = IsVideoFile(source)};
    if (source.empty() || source.starts_with("/dev/")) {
        // Cameras on Linux are Video4Linux devices; the other backends' probing of buses that
        // hold no camera only costs time.
        request.api = cv::CAP_V4L2;
    } else if (IsGStreamerPipeline(source)) {
        // Before the address test: a pipeline may well hold an address of its own.
        request.api = cv::CAP_GSTREAMER;
    } else if (IsNetworkStream(source)) {
        // FFmpeg gives up on a stalled stream by itself, which lets a failed open end cleanly.
        request.api = cv::CAP_FFMPEG;
        request.params = {cv::CAP_PROP_OPEN_TIMEOUT_MSEC, kNetworkTimeoutMs,
                          cv::CAP_PROP_READ_TIMEOUT_MSEC, kNetworkTimeoutMs};
    } else {
        // A video file or image sequence: FFmpeg reads them all, and a missing one fails at once
        // rather than after every other backend's probe.
        request.api = cv::CAP_FFMPEG;
    }
    return request;
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

std::optional<std::string> LockCameraSource(CameraSource& camera, const CameraLockChoice& choice) {
    if (!choice.AsksAnything()) {
        return std::nullopt;
    }
    return camera.Lock(choice);
}

namespace {

// A camera of the module with its Video4Linux device's controls, which the program sets beside
// OpenCV's capture.
class ControlledCamera final : public CameraSource {
public:
    ControlledCamera(std::unique_ptr<CameraSource> camera, std::string device)
        : m_camera(std::move(camera)),
          m_device(std::move(device)),
          m_identity(QueryV4l2Identity(m_device)) {}

    bool Grab() override { return m_camera->Grab(); }
    bool Retrieve(cv::Mat& frame) override { return m_camera->Retrieve(frame); }
    bool Set(int property, double value) override { return m_camera->Set(property, value); }
    bool Reopenable() const override { return m_camera->Reopenable(); }
    double FileFramesPerSecond() const override { return m_camera->FileFramesPerSecond(); }
    void Meter(const CameraLockChoice& choice) override {
        if (const auto controls = OpenV4l2Controls(m_device)) {
            MeterCamera(*controls, choice);
        }
    }
    std::optional<std::string> Lock(const CameraLockChoice& choice) override {
        const auto controls = OpenV4l2Controls(m_device);
        return controls ? LockCamera(*controls, choice) : std::nullopt;
    }
    CameraIdentity Identity() const override { return m_identity; }

private:
    std::unique_ptr<CameraSource> m_camera;
    std::string m_device;
    CameraIdentity m_identity;
};

std::unique_ptr<CameraSource> OpenUnbounded(int index, const std::string& source) {
    auto* open =
        ModuleFunction<OpenVideoCaptureFunction>(kVideoCaptureModule, kOpenVideoCaptureSymbol);
    if (open == nullptr) {
        return nullptr;
    }
    const VideoCaptureRequest request = RequestFor(index, source);
    std::unique_ptr<CameraSource> camera(open(&request));
    std::string device = V4l2DevicePath(index, source);
    if (!camera || device.empty()) {
        return camera;
    }
    return std::make_unique<ControlledCamera>(std::move(camera), std::move(device));
}

}  // namespace

std::unique_ptr<CameraSource> OpenVideoCapture(int index, const std::string& source) {
    return BoundedOpener(OpenUnbounded, std::chrono::milliseconds(kOpenLimitMs),
                         std::chrono::milliseconds(kGrabLimitMs))(index, source);
}
