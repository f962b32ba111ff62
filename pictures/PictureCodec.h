#pragma once

#include <opencv2/core/mat.hpp>
#include <optional>
#include <string>
#include <vector>

// Decoding only as much of a frame as a picture needs, and encoding a picture as a JPEG, over
// libjpeg. Safe to call from any thread.

// The columns of a frame a keogram averages: its centre ones.
inline constexpr int kStripColumns = 4;

// A frame's centre strip, and the judgement of the whole frame (video/FrameJudge.h) from the same
// decode.
struct CentreStrip {
    std::optional<std::string> trouble;  // what makes it damaged
    double meanLuma = 0;                 // as JudgeFrame measures it
    cv::Mat column;  // the frame's height x 1, BGR: the mean of its kStripColumns centre columns
};

// A JPEG's coefficients are read once, which judges all of its data as JudgeFrame does and gives
// the mean luma of its eighth-size picture; only the blocks under the centre columns are turned
// into pixels. Other pictures are decoded whole.
CentreStrip DecodeCentreStrip(const std::vector<uchar>& bytes);

// The picture in `bytes` decoded at 1/`scale` of its size (1, 2, 4 or 8), BGR; empty when it is
// damaged, and `trouble` then says why. A JPEG's reduced sizes cost it only the smaller inverse
// transforms.
cv::Mat DecodeReduced(const std::vector<uchar>& bytes, int scale,
                      std::optional<std::string>& trouble);

// `picture` (BGR) as a JPEG of `quality` (1 to 100), by libjpeg itself: a picture made from JPEGs
// needs no other codec loaded.
std::vector<uchar> EncodeJpeg(const cv::Mat& picture, int quality);
