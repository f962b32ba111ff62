#pragma once

#include <opencv2/core/mat.hpp>
#include <string>
#include <vector>

// OpenCV's image decoding and encoding, loaded at first use (platform/LoadableModule).
// Safe to call from any thread.

// The picture in `bytes` (cv::imdecode's flags), or an empty image when it cannot be decoded.
cv::Mat DecodeImage(const std::vector<uchar>& bytes, int flags);

// Encodes `image` in the format of `extension` (".jpg"); false when it cannot.
bool EncodeImage(const std::string& extension, const cv::Mat& image, std::vector<uchar>& bytes,
                 const std::vector<int>& params = {});
