#include "capture/FrameFile.h"

#include <opencv2/imgcodecs.hpp>

std::string FrameFileName(int number) {
    return "pic_" + std::to_string(number) + ".jpg";
}

bool SaveFrame(const std::string& path, const cv::Mat& frame) {
    // The encoder refuses some frames by exception; a frame that cannot be saved is only lost.
    try {
        return cv::imwrite(path, frame);
    } catch (const cv::Exception&) {
        return false;
    }
}

cv::Mat ReadFrame(const std::string& path) {
    try {
        return cv::imread(path, cv::IMREAD_COLOR);
    } catch (const cv::Exception&) {
        return {};
    }
}
