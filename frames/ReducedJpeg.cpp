#include "frames/ReducedJpeg.h"

#include <algorithm>
#include <cstdlib>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "frames/FrameFile.h"
#include "frames/JpegCodec.h"

namespace {

// Enough for a small picture shown beside others, at a fifth of the full quality's bytes.
constexpr int kReducedQuality = 80;

// The smallest of libjpeg's scales n/8 at which the picture is still at least `maxWidth` wide, so
// that the last step only narrows.
unsigned ScaleEighths(unsigned width, int maxWidth) {
    unsigned eighths = 1;
    while (eighths < 8 && (width * eighths + 7) / 8 < static_cast<unsigned>(maxWidth)) {
        ++eighths;
    }
    return eighths;
}

// The picture of `bytes` decoded at n/8 of its size, BGR; empty when it cannot be or is damaged,
// or when it already is at most `maxWidth` wide (`narrow` then set).
cv::Mat DecodeScaled(const std::vector<uchar>& bytes, int maxWidth, bool& narrow) {
    JpegDecompression decompression(bytes);
    jpeg_decompress_struct& in = decompression.In();
    bool ran = decompression.Run([&] {
        jpeg_read_header(&in, TRUE);
        narrow = in.image_width <= static_cast<unsigned>(maxWidth);
        in.scale_num = ScaleEighths(in.image_width, maxWidth);
        in.scale_denom = 8;
        in.out_color_space = JCS_EXT_BGR;
        jpeg_calc_output_dimensions(&in);
    });
    cv::Mat picture;
    if (!ran || narrow || DeclaredSizeVerdict(in.image_width, in.image_height)) {
        return picture;
    }
    ran = decompression.DecodeInto(picture);
    return decompression.Damage(ran) ? cv::Mat() : picture;
}

std::optional<std::string> EncodeBgr(const cv::Mat& picture) {
    JpegCompression compression;
    jpeg_compress_struct& out = compression.Out();
    struct {
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
    } encoded;  // in memory, where libjpeg's jump leaves it as it was
    const bool ran = compression.Run([&] {
        jpeg_mem_dest(&out, &encoded.buffer, &encoded.size);
        compression.StartBgr(picture.size(), kReducedQuality);
        compression.WriteRows(picture);
        jpeg_finish_compress(&out);
    });
    std::optional<std::string> result;
    if (ran) {
        result.emplace(reinterpret_cast<const char*>(encoded.buffer), encoded.size);
    }
    std::free(encoded.buffer);
    return result;
}

}  // namespace

std::optional<std::string> ReducedJpeg(const std::string& path, int maxWidth) {
    std::vector<uchar> bytes;
    if (!ReadFrameBytes(path, bytes) || !LooksLikeJpeg(bytes)) {
        return std::nullopt;
    }
    bool narrow = false;
    cv::Mat picture = DecodeScaled(bytes, maxWidth, narrow);
    if (narrow) {
        return std::string(bytes.begin(), bytes.end());
    }
    if (picture.empty()) {
        return std::nullopt;
    }
    if (picture.cols > maxWidth) {
        const int height = std::max(1, (picture.rows * maxWidth + picture.cols / 2) / picture.cols);
        cv::Mat narrowed;
        cv::resize(picture, narrowed, cv::Size(maxWidth, height), 0, 0, cv::INTER_AREA);
        picture = narrowed;
    }
    return EncodeBgr(picture);
}
