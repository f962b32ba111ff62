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

// A camera opened and used on a thread of its own, so that a source that never answers cannot
// hold the caller: a GStreamer pipeline whose camera sends nothing blocks in its open or its grab.
// An open or a grab that takes too long is given up; its thread and the camera are then left
// behind.
class BoundedCamera {
public:
    enum class Grab { Frame, Failed, TimedOut };

    // Starts opening the camera of `capture` and setting its capture size.
    explicit BoundedCamera(const OneFrameCapture& capture) : m_shared(std::make_shared<Shared>()) {
        m_thread = std::thread(&BoundedCamera::Serve, m_shared, capture.openCamera,
                               capture.cameraIndex, capture.source, capture.resolution);
    }

    BoundedCamera(const BoundedCamera&) = delete;
    BoundedCamera& operator=(const BoundedCamera&) = delete;

    // Releases the camera on its thread and waits for it, unless the thread is stuck.
    ~BoundedCamera() {
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

    // True when the camera opened within `limit`.
    bool Open(std::chrono::milliseconds limit) {
        std::unique_lock lock(m_shared->mutex);
        if (!m_shared->wake.wait_for(lock, limit, [this] { return m_shared->openEnded; })) {
            m_stuck = true;
            return false;
        }
        return m_shared->opened;
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
    // Shared with the camera's thread, which may outlive this object when it is stuck.
    struct Shared {
        std::mutex mutex;
        std::condition_variable wake;
        // Guarded by mutex.
        bool openEnded = false;
        bool opened = false;
        bool requested = false;
        bool answered = false;
        bool quit = false;
        bool grabbed = false;
        cv::Mat frame;
    };

    static void Serve(std::shared_ptr<Shared> shared, CameraOpener openCamera, int index,
                      std::string source, int resolution) {
        std::unique_ptr<CameraSource> camera = openCamera(index, source);
        if (camera) {
            SetCaptureSize(*camera, resolution);
        }
        std::unique_lock lock(shared->mutex);
        shared->openEnded = true;
        shared->opened = camera != nullptr;
        shared->wake.notify_all();
        while (camera) {
            shared->wake.wait(lock, [&] { return shared->requested || shared->quit; });
            if (shared->quit) {
                break;
            }
            shared->requested = false;
            lock.unlock();
            cv::Mat frame;
            const bool grabbed = camera->Grab();
            if (grabbed) {
                camera->Retrieve(frame);
            }
            lock.lock();
            shared->frame = frame;
            shared->grabbed = grabbed;
            shared->answered = true;
            shared->wake.notify_all();
        }
        shared->frame.release();
        lock.unlock();
        camera.reset();
    }

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
    bool m_stuck = false;
};

}  // namespace

TakeFrameResult TakeOneFrame(const OneFrameCapture& capture,
                             const std::function<TakeFrameResult(const cv::Mat&)>& keep) {
    BoundedCamera camera(capture);
    if (!camera.Open(capture.openLimit)) {
        return TakeFrameResult::NoCamera;
    }
    Clock& clock = *capture.clock;
    std::int64_t lastCounter = clock.Counter();
    float runningTime = SecondsSince(clock, lastCounter);
    std::optional<TakeFrameResult> kept;
    cv::Mat frame;
    while (!kept) {
        if (camera.Next(frame, capture.grabLimit) != BoundedCamera::Grab::Frame) {
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
