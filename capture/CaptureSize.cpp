#include <opencv2/videoio.hpp>

#include "capture/CaptureLoop.h"

CaptureSize SplitResolutionCode(int code) {
    const int divisor = code >= 10000001 ? 10000 : 1000;
    return {code / divisor, code % divisor};
}

void SetCaptureSize(CameraSource& camera, int resolutionCode) {
    const CaptureSize size = SplitResolutionCode(resolutionCode);
    camera.Set(cv::CAP_PROP_FRAME_WIDTH, size.width);
    camera.Set(cv::CAP_PROP_FRAME_HEIGHT, size.height);
}
