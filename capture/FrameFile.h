#pragma once

#include <opencv2/core/mat.hpp>
#include <string>

// The frame counter's value when no frame has been taken; the first frame is number 10001.
inline constexpr int kNoFrames = 10000;

// The name of the file of frame number `number`: pic_10001.jpg.
std::string FrameFileName(int number);

// Saves `frame` as an image file at `path`, in the format of its extension; false when it could
// not be written.
bool SaveFrame(const std::string& path, const cv::Mat& frame);

// The image in `path` as three-channel colour, or an empty image when it cannot be read.
cv::Mat ReadFrame(const std::string& path);
