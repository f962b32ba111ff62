#include "frames/FrameVerdict.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>  // the decoding flags

#include "frames/FrameFile.h"
#include "frames/JpegCodec.h"
#include "platform/ImageCodec.h"

namespace {

// The coded luma of one row of CMYK as libjpeg gives an Adobe file: inverted, so each value is
// the ink's absence.
double CmykRowLuma(const JSAMPLE* row, JDIMENSION width) {
    double sum = 0;
    for (JDIMENSION x = 0; x < width; ++x, row += 4) {
        const double k = row[3] / 255.0;
        sum += (0.299 * row[0] + 0.587 * row[1] + 0.114 * row[2]) * k;
    }
    return sum;
}

// The mean luma of `in`, whose header is read, from its decoding at an eighth of its size.
double DecodedMeanLuma(jpeg_decompress_struct& in) {
    in.scale_num = 1;
    in.scale_denom = 8;
    const bool cmyk = in.jpeg_color_space == JCS_CMYK || in.jpeg_color_space == JCS_YCCK;
    in.out_color_space = cmyk ? JCS_CMYK : JCS_GRAYSCALE;
    jpeg_start_decompress(&in);
    // libjpeg's own memory: an error jumps past this function, which must own nothing.
    const JDIMENSION rowLength = in.output_width * static_cast<JDIMENSION>(in.output_components);
    JSAMPARRAY rows =
        in.mem->alloc_sarray(reinterpret_cast<j_common_ptr>(&in), JPOOL_IMAGE, rowLength, 1);
    double sum = 0;
    while (in.output_scanline < in.output_height) {
        jpeg_read_scanlines(&in, rows, 1);
        if (cmyk) {
            sum += CmykRowLuma(rows[0], in.output_width);
        } else {
            for (JDIMENSION x = 0; x < rowLength; ++x) {
                sum += rows[0][x];
            }
        }
    }
    jpeg_finish_decompress(&in);
    return sum / (static_cast<double>(in.output_width) * in.output_height);
}

FrameVerdict JudgeJpeg(const std::vector<uchar>& bytes) {
    JpegDecompression decompression(bytes);
    jpeg_decompress_struct& in = decompression.In();
    struct {
        long long width = 0;
        long long height = 0;
        double meanLuma = 0;
    } found;  // in memory, where libjpeg's jump leaves it as it was
    const bool ran = decompression.Run([&] {
        jpeg_read_header(&in, TRUE);
        found.width = in.image_width;
        found.height = in.image_height;
        if (found.width * found.height <= kLargestFramePixels) {
            found.meanLuma = DecodedMeanLuma(in);
        }
    });
    if (ran) {
        if (std::optional<FrameVerdict> tooLarge = DeclaredSizeVerdict(found.width, found.height)) {
            return *tooLarge;
        }
    }
    if (std::optional<FrameVerdict> damage = decompression.Damage(ran)) {
        return *damage;
    }
    return VerdictOfLuma(found.meanLuma);
}

// Whether the file `before` holds exactly `bytes`.
bool HoldsSameBytes(const std::string& before, const std::vector<uchar>& bytes) {
    struct stat status {};
    if (::stat(before.c_str(), &status) != 0 ||
        static_cast<std::size_t>(status.st_size) != bytes.size()) {
        return false;
    }
    std::vector<uchar> earlier;
    return ReadFrameBytes(before, earlier) && earlier == bytes;
}

}  // namespace

const char* FaultWord(FrameFault fault) {
    switch (fault) {
        case FrameFault::Missing:
            return "missing";
        case FrameFault::Empty:
            return "empty";
        case FrameFault::CutShort:
            return "cut short";
        case FrameFault::Damaged:
            return "damaged";
        case FrameFault::Repeat:
            return "repeated";
        case FrameFault::NearlyBlack:
            return "nearly black";
        case FrameFault::NearlyWhite:
            return "nearly white";
    }
    return "damaged";
}

bool FrameVerdict::Unreadable() const {
    return fault == FrameFault::Missing || fault == FrameFault::Empty ||
           fault == FrameFault::CutShort || fault == FrameFault::Damaged;
}

std::string FrameVerdict::Sentence() const {
    if (!fault) {
        return {};
    }
    switch (*fault) {
        case FrameFault::Empty:
            return "empty file";
        case FrameFault::Damaged:
            return detail;
        case FrameFault::Repeat:
            return "a repeat of the frame before it";
        case FrameFault::NearlyBlack:
        case FrameFault::NearlyWhite:
            return std::string(FaultWord(*fault)) + " (mean luma " +
                   std::to_string(std::lround(meanLuma)) + ")";
        default:
            return FaultWord(*fault);
    }
}

FrameVerdict BadFrame(FrameFault fault) {
    FrameVerdict verdict;
    verdict.fault = fault;
    return verdict;
}

FrameVerdict DamagedFrame(std::string detail) {
    FrameVerdict verdict = BadFrame(FrameFault::Damaged);
    verdict.detail = std::move(detail);
    return verdict;
}

FrameVerdict VerdictOfLuma(double meanLuma) {
    FrameVerdict verdict;
    verdict.meanLuma = meanLuma;
    if (meanLuma < kNearlyBlackLuma) {
        verdict.fault = FrameFault::NearlyBlack;
    } else if (meanLuma > kNearlyWhiteLuma) {
        verdict.fault = FrameFault::NearlyWhite;
    }
    return verdict;
}

std::optional<FrameVerdict> DeclaredSizeVerdict(long long width, long long height) {
    if (width * height <= kLargestFramePixels) {
        return std::nullopt;
    }
    return DamagedFrame("declares " + std::to_string(width) + "x" + std::to_string(height) +
                        " pixels, more than a video holds");
}

FrameVerdict JudgeFrame(const std::vector<uchar>& bytes) {
    if (bytes.empty()) {
        return BadFrame(FrameFault::Empty);
    }
    if (LooksLikeJpeg(bytes)) {
        return JudgeJpeg(bytes);
    }
    const cv::Mat reduced = DecodeImage(bytes, cv::IMREAD_REDUCED_GRAYSCALE_8);
    if (reduced.empty()) {
        return DamagedFrame("not a picture");
    }
    return VerdictOfLuma(cv::mean(reduced)[0]);
}

FrameVerdict ReadFrame(const std::string& path, std::vector<uchar>& bytes) {
    if (ReadFrameBytes(path, bytes)) {
        return {};
    }
    switch (errno) {
        case ENOENT:
        case ENOTDIR:
            return BadFrame(FrameFault::Missing);
        case EFBIG:
            return DamagedFrame("larger than " + std::to_string(kMaxFrameBytes >> 20) + " MB");
        case EINVAL:
            return DamagedFrame("not a regular file");
        default:
            return DamagedFrame("cannot be read");
    }
}

FrameVerdict WithRepeat(FrameVerdict decoded, const std::string& before,
                        const std::vector<uchar>& bytes) {
    if (!decoded.Unreadable() && !before.empty() && HoldsSameBytes(before, bytes)) {
        decoded.fault = FrameFault::Repeat;
    }
    return decoded;
}

FrameVerdict JudgeFrameFile(const std::string& path, const std::string& before,
                            std::vector<uchar>& bytes) {
    FrameVerdict read = ReadFrame(path, bytes);
    if (!read.Good()) {
        return read;
    }
    return WithRepeat(JudgeFrame(bytes), before, bytes);
}
