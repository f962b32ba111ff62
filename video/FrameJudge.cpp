#include "video/FrameJudge.h"

#include <cmath>
#include <limits>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>  // the decoding flags

// After <jpeglib.h>: its message codes.
#include <jerror.h>

#include "platform/ImageCodec.h"

namespace {

constexpr double kNoMean = std::numeric_limits<double>::quiet_NaN();

[[noreturn]] void OnJpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<SilentJpegErrors*>(info->err)->jump, 1);
}

void OnJpegMessage(j_common_ptr info, int level) {
    auto* errors = reinterpret_cast<SilentJpegErrors*>(info->err);
    if (level < 0 && errors->manager.num_warnings++ == 0) {
        errors->firstWarning = errors->manager.msg_code;
    }
}

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

FrameJudgement JudgeJpeg(const std::vector<uchar>& bytes) {
    jpeg_decompress_struct in{};
    SilentJpegErrors errors;
    in.err = UseSilentJpegErrors(errors);
    jpeg_create_decompress(&in);
    FrameJudgement judgement{std::nullopt, kNoMean};
    // Nothing between here and the end of libjpeg's work has a destructor that must run: libjpeg's
    // errors come back by longjmp.
    if (setjmp(errors.jump) == 0) {
        jpeg_mem_src(&in, bytes.data(), static_cast<unsigned long>(bytes.size()));
        jpeg_read_header(&in, TRUE);
        judgement.trouble = DeclaredSizeTrouble(in.image_width, in.image_height);
        if (!judgement.trouble) {
            judgement.meanLuma = DecodedMeanLuma(in);
        }
    } else {
        judgement.trouble = "cannot be decoded";
    }
    jpeg_destroy_decompress(&in);
    if (!judgement.trouble && errors.manager.num_warnings > 0) {
        judgement.trouble = JpegWarningTrouble(errors.firstWarning);
    }
    if (judgement.trouble) {
        judgement.meanLuma = kNoMean;
    }
    return judgement;
}

}  // namespace

jpeg_error_mgr* UseSilentJpegErrors(SilentJpegErrors& errors) {
    jpeg_std_error(&errors.manager);
    errors.manager.error_exit = OnJpegError;
    errors.manager.emit_message = OnJpegMessage;
    return &errors.manager;
}

std::optional<std::string> JpegWarningTrouble(int code) {
    switch (code) {
        case JWRN_JPEG_EOF:
        case JWRN_HIT_MARKER:
            return "cut short";
        case JWRN_HUFF_BAD_CODE:
        case JWRN_ARITH_BAD_CODE:
        case JWRN_MUST_RESYNC:
        case JWRN_NOT_SEQUENTIAL:
        case JWRN_BOGUS_PROGRESSION:
            return "corrupt picture data";
        default:
            return std::nullopt;
    }
}

std::optional<std::string> DeclaredSizeTrouble(long long width, long long height) {
    if (width * height <= kLargestFramePixels) {
        return std::nullopt;
    }
    return "declares " + std::to_string(width) + "x" + std::to_string(height) +
           " pixels, more than a video holds";
}

FrameJudgement JudgeFrame(const std::vector<uchar>& bytes) {
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8) {
        return JudgeJpeg(bytes);
    }
    const cv::Mat reduced = DecodeImage(bytes, cv::IMREAD_REDUCED_GRAYSCALE_8);
    if (reduced.empty()) {
        return {"not a picture", kNoMean};
    }
    return {std::nullopt, cv::mean(reduced)[0]};
}
