#include "capture/OneFrameCapture.h"

#include <memory>
#include <optional>

#include <opencv2/core/mat.hpp>

#include "capture/CaptureLoop.h"
#include "capture/FramePacer.h"
#include "platform/Clock.h"

namespace {

// The camera must have run this long before its frame is taken: cameras adjust exposure and
// white balance in their first seconds.
constexpr float kWarmUpSeconds = 5.0f;
// A source that sends only empty frames is given up this long after the warm-up.
constexpr float kNoFrameGraceSeconds = 3.0f;

}  // namespace

TakeFrameResult TakeOneFrame(const OneFrameCapture& capture,
                             const std::function<TakeFrameResult(const cv::Mat&)>& keep) {
    const std::unique_ptr<CameraSource> camera =
        capture.openCamera(capture.cameraIndex, capture.source);
    if (!camera) {
        return TakeFrameResult::NoCamera;
    }
    SetCaptureSize(*camera, capture.resolution);
    MeterCameraSource(*camera, capture.lock);
    Clock& clock = *capture.clock;
    FramePacer pacer(clock, camera->FileFramesPerSecond());
    std::int64_t lastCounter = clock.Counter();
    float runningTime = SecondsSince(clock, lastCounter);
    std::optional<TakeFrameResult> kept;
    cv::Mat frame;
    bool locked = false;
    while (!kept) {
        pacer.WaitForNextFrame();
        // The camera has metered its scene by now; the frame is grabbed with what it holds.
        if (!locked && runningTime > kWarmUpSeconds) {
            locked = true;
            const std::string trouble = LockCameraSource(*camera, capture.lock);
            if (!trouble.empty() && capture.tellLockTrouble) {
                capture.tellLockTrouble(trouble);
            }
        }
        if (!camera->Grab()) {
            return TakeFrameResult::NoFrame;
        }
        camera->Retrieve(frame);  // an empty frame counts as none
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
