#include "capture/OneFrameCapture.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <opencv2/core/mat.hpp>

#include "capture/CaptureLoop.h"
#include "platform/Clock.h"

namespace {

// The camera must have run this long before its frame is taken: cameras adjust exposure and
// white balance in their first seconds.
constexpr float kWarmUpSeconds = 5.0f;
// A source that sends only empty frames is given up this long after the warm-up.
constexpr float kNoFrameGraceSeconds = 3.0f;

// Grabs and retrieves on a thread of its own, so that a source that never answers (a GStreamer
// pipeline whose camera went away blocks in its grab) cannot hold the caller. A grab that takes
// too long is given up; its thread and the camera are then left behind.
class BoundedGrabber {
public:
    enum class Grab { Frame, Failed, TimedOut };

    explicit BoundedGrabber(std::unique_ptr<CameraSource> camera)
        : m_shared(std::make_shared<Shared>()) {
        m_shared->camera = std::move(camera);
        m_thread = std::thread(&BoundedGrabber::Serve, m_shared);
    }

    BoundedGrabber(const BoundedGrabber&) = delete;
    BoundedGrabber& operator=(const BoundedGrabber&) = delete;

    // Releases the camera on the grab thread and waits for it, unless a grab is stuck.
    ~BoundedGrabber() {
        {
            std::lock_guard lock(m_shared->mutex);
            m_shared->quit = true;
        }
        m_shared->wake.notify_all();
        if (m_stuck) {
            m_thread.detach();
        } else {
            m_thread.join();
        }
    }

    // Grabs the next frame into `frame`, empty when the camera decoded none; the frame may share
    // the camera's buffer and stays valid until the next call.
    Grab Next(cv::Mat& frame, std::chrono::milliseconds limit) {
        std::unique_lock lock(m_shared->mutex);
        m_shared->requested = true;
        m_shared->answered = false;
        m_shared->wake.notify_all();
        if (!m_shared->wake.wait_for(lock, limit, [this] { return m_shared->answered; })) {
            m_stuck = true;
            return Grab::TimedOut;
        }
        frame = m_shared->frame;
        return m_shared->grabbed ? Grab::Frame : Grab::Failed;
    }

private:
    // Shared with the grab thread, which may outlive this object when a grab is stuck.
    struct Shared {
        std::mutex mutex;
        std::condition_variable wake;
        std::unique_ptr<CameraSource> camera;  // used by the grab thread only
        // Guarded by mutex.
        bool requested = false;
        bool answered = false;
        bool quit = false;
        bool grabbed = false;
        cv::Mat frame;
    };

    static void Serve(std::shared_ptr<Shared> shared) {
        std::unique_lock lock(shared->mutex);
        while (true) {
            shared->wake.wait(lock, [&] { return shared->requested || shared->quit; });
            if (shared->quit) {
                break;
            }
            shared->requested = false;
            lock.unlock();
            cv::Mat frame;
            const bool grabbed = shared->camera->Grab();
            if (grabbed) {
                shared->camera->Retrieve(frame);
            }
            lock.lock();
            shared->frame = frame;
            shared->grabbed = grabbed;
            shared->answered = true;
            shared->wake.notify_all();
        }
        shared->frame.release();
        lock.unlock();
        shared->camera.reset();
    }

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
    bool m_stuck = false;
};

}  // namespace

TakeFrameResult TakeOneFrame(const OneFrameCapture& capture,
                             const std::function<TakeFrameResult(const cv::Mat&)>& keep) {
    std::unique_ptr<CameraSource> camera = capture.openCamera(capture.cameraIndex, capture.source);
    if (!camera) {
        return TakeFrameResult::NoCamera;
    }
    SetCaptureSize(*camera, capture.resolution);
    Clock& clock = *capture.clock;
    std::int64_t lastCounter = clock.Counter();
    BoundedGrabber grabber(std::move(camera));
    float runningTime = SecondsSince(clock, lastCounter);
    std::optional<TakeFrameResult> kept;
    cv::Mat frame;
    while (!kept) {
        if (grabber.Next(frame, capture.grabLimit) != BoundedGrabber::Grab::Frame) {
            return TakeFrameResult::NoFrame;
        }
        if (!frame.empty() && runningTime > kWarmUpSeconds) {
            kept = keep(frame);
        } else if (runningTime > kWarmUpSeconds + kNoFrameGraceSeconds) {
            return TakeFrameResult::NoFrame;
        }
        // A key after the frame was kept changes nothing.
        if (capture.showFrame && capture.showFrame(frame) && !kept) {
            return TakeFrameResult::NoFrame;
        }
        clock.Sleep(10);
        runningTime += SecondsSince(clock, lastCounter);
    }
    return *kept;
}
