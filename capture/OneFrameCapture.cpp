#include "capture/OneFrameCapture.h"

#include <memory>
#include <optional>

#include <opencv2/core/mat.hpp>

#include "capture/CaptureLoop.h"
#include "capture/DeviceLock.h"
#include "capture/FramePacer.h"
#include "platform/Clock.h"

namespace {

// The camera must have run this long before its frame is taken: cameras adjust exposure and
// white balance in their first seconds.
constexpr Seconds kWarmUp{5.0f};
// A source that sends only empty frames is given up this long after the warm-up.
constexpr Seconds kNoFrameGrace{3.0f};

}  // namespace

ExitCode TakeOneFrame(const OneFrameCapture& capture,
                      const std::function<ExitCode(const cv::Mat&, const FrameStamp&)>& keep) {
    // Another profile's launch may be taking its frame from the same device: it is waited for
    // through one warm-up, about as long as it holds the device. Released after the camera,
    // which is declared after it.
    const std::string device = V4l2DevicePath(capture.cameraIndex, capture.source);
    const std::optional<DeviceLock> deviceLock =
        device.empty() ? DeviceLock()
                       : DeviceLock::Take(device, capture.profile, *capture.clock, kWarmUp);
    if (!deviceLock) {
        return ExitCode::CameraBusy;
    }
    const std::unique_ptr<CameraSource> camera =
        capture.openCamera(capture.cameraIndex, capture.source);
    if (!camera) {
        return ExitCode::NoCamera;
    }
    SetCaptureSize(*camera, capture.resolution);
    MeterCameraSource(*camera, capture.lock);
    Clock& clock = *capture.clock;
    FramePacer pacer(clock, camera->FileFramesPerSecond());
    std::int64_t lastCounter = clock.Counter();
    Seconds runningTime = SecondsSince(clock, lastCounter);
    const CameraIdentity identity = camera->Identity();
    std::optional<ExitCode> kept;
    cv::Mat frame;
    bool locked = false;
    while (!kept) {
        pacer.WaitForNextFrame();
        // The camera has metered its scene by now; the frame is grabbed with what it holds.
        if (!locked && runningTime > kWarmUp) {
            locked = true;
            const std::optional<std::string> trouble = LockCameraSource(*camera, capture.lock);
            if (trouble && capture.tellLockTrouble) {
                capture.tellLockTrouble(*trouble);
            }
        }
        if (!camera->Grab()) {
            return ExitCode::NoFrame;
        }
        const CaptureTime grabbedAt = LocalCaptureTime(clock.WallMs());
        camera->Retrieve(frame);  // an empty frame counts as none
        if (!frame.empty() && runningTime > kWarmUp) {
            kept = keep(frame, FrameStamp{grabbedAt, identity.make, identity.model});
        } else if (runningTime > kWarmUp + kNoFrameGrace) {
            return ExitCode::NoFrame;
        }
        // A key after the frame was kept changes nothing.
        if (capture.showFrame && capture.showFrame(frame) && !kept) {
            return ExitCode::NoFrame;
        }
        clock.Sleep(10);
        runningTime += SecondsSince(clock, lastCounter);
    }
    return *kept;
}
