#include "capture/CameraSource.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <opencv2/videoio.hpp>
#include <thread>

#include "capture/ThreadCount.h"

namespace {

// How long a network stream may take to open, or to deliver a frame, before FFmpeg gives up.
constexpr int kNetworkTimeoutMs = 5000;

bool IsGStreamerPipeline(const std::string& source) {
    return source.find("appsink") != std::string::npos;
}

bool IsNetworkStream(const std::string& source) {
    return !IsGStreamerPipeline(source) && source.find("://") != std::string::npos;
}

// A camera (by index or device) or a network stream can come back after a hiccup.
bool IsReopenable(const std::string& source) {
    return source.empty() || source.starts_with("/dev/") || IsNetworkStream(source);
}

void OpenSource(cv::VideoCapture& capture, int index, const std::string& source) {
    if (source.empty()) {
        capture.open(index);
    } else if (IsGStreamerPipeline(source)) {
        // Before the address test: a pipeline may well hold an address of its own.
        capture.open(source, cv::CAP_GSTREAMER);
    } else if (IsNetworkStream(source)) {
        // FFmpeg gives up on a stalled stream by itself, which lets a failed open end cleanly.
        capture.open(source, cv::CAP_FFMPEG,
                     {cv::CAP_PROP_OPEN_TIMEOUT_MSEC, kNetworkTimeoutMs,
                      cv::CAP_PROP_READ_TIMEOUT_MSEC, kNetworkTimeoutMs});
    } else {
        capture.open(source, cv::CAP_ANY);
    }
}

// One cv::VideoCapture and the thread that makes all its calls. A call is handed over under the
// mutex; the caller waits for it up to a limit. The thread and the capture belong to the shared
// state, so a call that never returns keeps them alive, and the thread ends when it does.
class BoundedCapture {
public:
    using Call = std::function<bool(cv::VideoCapture&)>;

    BoundedCapture() : m_state(std::make_shared<State>()) {
        std::thread([state = m_state] { Serve(*state); }).detach();
    }

    ~BoundedCapture() {
        {
            std::lock_guard lock(m_state->mutex);
            m_state->quit = true;
        }
        m_state->changed.notify_all();
    }

    BoundedCapture(const BoundedCapture&) = delete;
    BoundedCapture& operator=(const BoundedCapture&) = delete;

    // Runs `call` on the capture's thread; false when it failed or took longer than `limitMs`,
    // after which the capture is given up and every later call fails at once. `call` must own
    // what it uses: it may outlive this call.
    bool Run(Call call, int limitMs) {
        std::unique_lock lock(m_state->mutex);
        if (m_state->hung) {
            return false;
        }
        m_state->call = std::move(call);
        m_state->done = false;
        m_state->changed.notify_all();
        if (!m_state->changed.wait_for(lock, std::chrono::milliseconds(limitMs),
                                       [this] { return m_state->done; })) {
            m_state->hung = true;
            return false;
        }
        return m_state->result;
    }

    // The frame of the last successful retrieve; valid until the next call.
    cv::Mat& Frame() { return m_state->frame; }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        cv::VideoCapture capture;  // used on the capture's thread only
        cv::Mat frame;             // written by the capture's thread during a call
        Call call;                 // guarded by mutex
        bool done = false;         // guarded by mutex
        bool result = false;       // guarded by mutex
        bool hung = false;         // guarded by mutex
        bool quit = false;         // guarded by mutex
    };

    static void Serve(State& state) {
        LiveCaptureThread alive;
        std::unique_lock lock(state.mutex);
        while (true) {
            state.changed.wait(lock, [&] { return state.quit || state.call; });
            if (!state.call) {
                break;
            }
            Call call = std::move(state.call);
            state.call = nullptr;
            lock.unlock();
            bool result = false;
            try {
                result = call(state.capture);
            } catch (const cv::Exception&) {
                result = false;  // a source a backend refuses is no camera
            }
            lock.lock();
            state.result = result;
            state.done = true;
            state.changed.notify_all();
        }
        lock.unlock();
        state.capture.release();
    }

    std::shared_ptr<State> m_state;
};

class VideoCaptureSource final : public CameraSource {
public:
    VideoCaptureSource(std::unique_ptr<BoundedCapture> capture, bool takesSize, bool reopenable)
        : m_capture(std::move(capture)), m_takesSize(takesSize), m_reopenable(reopenable) {}

    bool Grab() override {
        return m_capture->Run([](cv::VideoCapture& capture) { return capture.grab(); },
                              kGrabLimitMs);
    }

    bool Retrieve(cv::Mat& frame) override {
        // The frame is retrieved into the capture's own buffer, which outlives a call that hangs.
        cv::Mat& buffer = m_capture->Frame();
        const bool retrieved = m_capture->Run(
            [&buffer](cv::VideoCapture& capture) {
                // A failed retrieve may leave the previous frame in place (FFmpeg does).
                const bool ok = capture.retrieve(buffer) && !buffer.empty();
                if (!ok) {
                    buffer.release();
                }
                return ok;
            },
            kGrabLimitMs);
        if (retrieved) {
            frame = buffer;
        } else {
            frame.release();
        }
        return retrieved;
    }

    bool Set(int property, double value) override {
        return m_takesSize && m_capture->Run(
                                  [property, value](cv::VideoCapture& capture) {
                                      return capture.set(property, value);
                                  },
                                  kGrabLimitMs);
    }

    bool Reopenable() const override { return m_reopenable; }

private:
    std::unique_ptr<BoundedCapture> m_capture;
    bool m_takesSize;
    bool m_reopenable;
};

}  // namespace

std::unique_ptr<CameraSource> OpenVideoCapture(int index, const std::string& source) {
    auto capture = std::make_unique<BoundedCapture>();
    const bool opened = capture->Run(
        [index, source](cv::VideoCapture& videoCapture) {
            OpenSource(videoCapture, index, source);
            return videoCapture.isOpened();
        },
        kOpenLimitMs);
    if (!opened) {
        return nullptr;
    }
    // OpenCV rebuilds a GStreamer pipeline's caps for a new size, which stops a pipeline that
    // fixes its own: a pipeline keeps the size it was written with.
    return std::make_unique<VideoCaptureSource>(std::move(capture), !IsGStreamerPipeline(source),
                                                IsReopenable(source));
}
