#include <opencv2/imgcodecs.hpp>

#include "capture/CaptureLoop.h"

bool SaveFrame(const std::string& path, const cv::Mat& frame) {
    // The encoder refuses some frames by exception; a frame that cannot be saved is only lost.
    try {
        return cv::imwrite(path, frame);
    } catch (const cv::Exception&) {
        return false;
    }
}
