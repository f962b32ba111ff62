#include "video/VideoFile.h"

#include <opencv2/videoio.hpp>

bool OpenVideoWriter(cv::VideoWriter& writer, const std::string& path, int fourcc, double fps,
                     cv::Size size) {
    try {
        return writer.open(path, cv::CAP_FFMPEG, fourcc, fps, size, true);
    } catch (const cv::Exception&) {
        return false;
    }
}
