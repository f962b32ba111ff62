#include "video/VideoFile.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

std::string FrameFileName(int number) {
    return "pic_" + std::to_string(number) + ".jpg";
}

cv::Mat ReadFrame(const std::string& path) {
    try {
        return cv::imread(path, cv::IMREAD_COLOR);
    } catch (const cv::Exception&) {
        return {};
    }
}

bool OpenVideoWriter(cv::VideoWriter& writer, const std::string& path, int fourcc, double fps,
                     cv::Size size) {
    try {
        return writer.open(path, cv::CAP_FFMPEG, fourcc, fps, size, true);
    } catch (const cv::Exception&) {
        return false;
    }
}
