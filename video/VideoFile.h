#pragma once

#include <opencv2/core/mat.hpp>
#include <string>

namespace cv {
class VideoWriter;
}

// Opens `writer` for a colour AVI file at `path` through FFmpeg; false when it cannot.
bool OpenVideoWriter(cv::VideoWriter& writer, const std::string& path, int fourcc, double fps,
                     cv::Size size);
