#pragma once

#include <opencv2/core/mat.hpp>
#include <string>

namespace cv {
class VideoWriter;
}

// The name of the file of frame number `number`: pic_10001.jpg.
std::string FrameFileName(int number);

// The image in `path` as three-channel colour, or an empty image when it cannot be read.
cv::Mat ReadFrame(const std::string& path);

// Opens `writer` for a colour AVI file at `path` through FFmpeg; false when it cannot.
bool OpenVideoWriter(cv::VideoWriter& writer, const std::string& path, int fourcc, double fps,
                     cv::Size size);
