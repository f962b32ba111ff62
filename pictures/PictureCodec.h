#pragma once

#include <cstdio>
#include <memory>
#include <opencv2/core/mat.hpp>
#include <optional>
#include <string>
#include <vector>

#include "frames/FrameVerdict.h"
#include "platform/AtomicFile.h"

// Decoding only as much of a frame as a picture needs, over libjpeg, and writing a picture as a
// JPEG or PNG, over libjpeg and libpng. Safe to call from any thread.

// The columns of a frame a keogram averages: its centre ones.
inline constexpr int kStripColumns = 4;

// A frame's centre strip, and the verdict of the whole frame (as JudgeFrame gives it) from the
// same decode.
struct CentreStrip {
    FrameVerdict verdict;
    cv::Mat column;  // the frame's height x 1, BGR: the mean of its kStripColumns centre columns
};

// A JPEG's coefficients are read once, which judges all of its data as JudgeFrame does and gives
// the mean luma of its eighth-size picture; only the blocks under the centre columns are turned
// into pixels. Other pictures are decoded whole.
CentreStrip DecodeCentreStrip(const std::vector<uchar>& bytes);

// The picture in `bytes` decoded at 1/`scale` of its size (1, 2, 4 or 8), BGR; empty when it is
// damaged. A JPEG's reduced sizes cost it only the smaller inverse transforms.
cv::Mat DecodeReduced(const std::vector<uchar>& bytes, int scale);

// The largest side a picture of each format may have: JPEG's own limit, and the largest PNG that
// libpng writes, and reads, unless told otherwise.
inline constexpr int kLargestJpegSide = 65500;
inline constexpr int kLargestPngSide = 1000000;

// The largest side of a picture named `path`, which ends in .jpg or .png.
int LargestSide(const std::string& path);

// A picture written as the JPEG or PNG its path's ending names, a band of rows at a time from the
// top, so that neither its pixels nor its bytes are ever held whole: under a temporary name
// (AtomicFile), renamed into place by Finish. Each step gives 0, or the errno of the failure,
// after which the picture is given up (its temporary file goes with the object) and every later
// step gives that errno again.
class PictureFile {
public:
    PictureFile();
    ~PictureFile();
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;

    // Starts the picture `path` of `size`; EFBIG when a side is larger than LargestSide.
    int Start(const std::string& path, cv::Size size);
    // Encodes and writes the next rows: BGR, as wide as the picture.
    int Add(const cv::Mat& rows);
    // Once every row is added: ends the picture, flushes it to the disk and renames it into place.
    int Finish();

    class Encoder;

private:
    int Failed();

    AtomicFile m_file;
    std::FILE* m_stream = nullptr;  // a descriptor of its own onto m_file's
    std::unique_ptr<Encoder> m_encoder;
    int m_error = 0;
};
