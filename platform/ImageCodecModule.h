#pragma once

#include <opencv2/core/mat.hpp>
#include <vector>

// What the image codec module offers, by name; its functions never throw.
inline constexpr char kImageCodecModule[] = "imgcodecs";
inline constexpr char kDecodeImageSymbol[] = "VornDecodeImage";
inline constexpr char kEncodeImageSymbol[] = "VornEncodeImage";
// Leaves `image` empty when `bytes` cannot be decoded.
using DecodeImageFunction = void(const std::vector<uchar>* bytes, int flags,
                                 cv::Mat* image) noexcept;
using EncodeImageFunction = bool(const char* extension, const cv::Mat* image,
                                 std::vector<uchar>* bytes,
                                 const std::vector<int>* params) noexcept;
