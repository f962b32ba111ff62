#include "video/Deflicker.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <opencv2/core.hpp>

#include "frames/JpegCodec.h"

namespace {

constexpr double kNoMean = std::numeric_limits<double>::quiet_NaN();
// A frame further off its local median than this many robust standard deviations of the whole
// sequence (median absolute deviation × 1.4826) counts as an outlier…
constexpr double kOutlierSpread = 3.5;
// …or than this share of its brightness, whichever is more: in a sequence without flicker, small
// differences are no reason to leave a frame out.
constexpr double kLeastOutlier = 0.02;
constexpr double kMadToDeviation = 1.4826;
constexpr double kLargestGain = 4.0;
// The largest AC coefficient a baseline JPEG of 8-bit samples holds.
constexpr int kLargestAc = 1023;
// The gain in fixed point for scaling coefficients: a coefficient times the largest gain fits an
// int with room to spare.
constexpr int kFractionBits = 16;
constexpr int kHalf = 1 << (kFractionBits - 1);

double Median(std::vector<double> values) {
    if (values.empty()) {
        return kNoMean;
    }
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// The median of the measured means in the window around each frame: a trend that a single wrong
// frame cannot move.
std::vector<double> LocalMedians(const std::vector<double>& means, int half) {
    const int count = static_cast<int>(means.size());
    std::vector<double> medians(means.size(), kNoMean);
    std::vector<double> window;
    for (int i = 0; i < count; ++i) {
        window.clear();
        for (int j = std::max(0, i - half); j <= std::min(count - 1, i + half); ++j) {
            if (!std::isnan(means[j])) {
                window.push_back(means[j]);
            }
        }
        medians[i] = Median(window);
    }
    return medians;
}

// Which frames lie close enough to their local median to take part in their neighbours' fits.
std::vector<bool> Inliers(const std::vector<double>& means, const std::vector<double>& trend) {
    std::vector<double> offsets(means.size(), kNoMean);
    std::vector<double> sizes;
    for (size_t i = 0; i < means.size(); ++i) {
        if (!std::isnan(means[i]) && !std::isnan(trend[i])) {
            // Relative: flicker scales the brightness, so it is as large in the dark as by day.
            offsets[i] = (means[i] - trend[i]) / std::max(trend[i], 1.0);
            sizes.push_back(std::abs(offsets[i]));
        }
    }
    const double limit = std::max(kOutlierSpread * kMadToDeviation * Median(sizes), kLeastOutlier);
    std::vector<bool> inliers(means.size());
    for (size_t i = 0; i < means.size(); ++i) {
        inliers[i] = !std::isnan(offsets[i]) && std::abs(offsets[i]) <= limit;
    }
    return inliers;
}

// The weighted least-squares line through the inliers around `centre`, read at the centre. The
// weights fall off as a parabola: of all weightings over the window, it passes the least of one
// frame's flicker on to the next frame's target. Near either end of the sequence the window keeps
// its width and reaches further in, so that the first and last frames are not read off a line
// through half as many frames. Nothing when no inlier is near.
double LocalFit(const std::vector<double>& means, const std::vector<bool>& inliers, int centre,
                int half) {
    const int count = static_cast<int>(means.size());
    const int first = std::clamp(centre - half, 0, std::max(count - 1 - 2 * half, 0));
    const int last = std::min(first + 2 * half, count - 1);
    const int reach = std::max(centre - first, last - centre);
    double sw = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (int j = first; j <= last; ++j) {
        if (!inliers[j]) {
            continue;
        }
        const double x = j - centre;
        const double w = (reach + 1) * (reach + 1) - x * x;
        sw += w;
        sx += w * x;
        sy += w * means[j];
        sxx += w * x * x;
        sxy += w * x * means[j];
    }
    if (sw <= 0) {
        return kNoMean;
    }
    const double spread = sw * sxx - sx * sx;
    // One inlier, or all at one spot: no slope to fit, their mean is the estimate.
    if (spread <= 1e-9 * sw * sw) {
        return sy / sw;
    }
    return (sy * sxx - sx * sxy) / spread;
}

// Scales the picture's values by `gain` in the coefficients: the block means through the DC
// coefficient (each block's mean is 128 + DC × step / 8), the detail through the rest. The luma of
// a YCbCr JPEG is scaled, its colour differences from 128 too, so hue and saturation stay; any
// other JPEG's components are scaled as they are. Each block mean's rounding is carried to the
// next block, so that the picture's mean takes the whole gain, however small.
void ScaleCoefficients(jpeg_decompress_struct& in, jvirt_barray_ptr* coefficients, double gain) {
    for (int c = 0; c < in.num_components; ++c) {
        const jpeg_component_info& component = in.comp_info[c];
        const double step = in.quant_tbl_ptrs[component.quant_tbl_no]->quantval[0];
        const bool colourDifference = in.jpeg_color_space == JCS_YCbCr && c > 0;
        double carried = 0;
        const int factor = static_cast<int>(std::lround(std::ldexp(gain, kFractionBits)));
        for (JDIMENSION row = 0; row < component.height_in_blocks; ++row) {
            JBLOCKARRAY blocks = in.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&in),
                                                            coefficients[c], row, 1, TRUE);
            for (JDIMENSION column = 0; column < component.width_in_blocks; ++column) {
                JCOEF* block = blocks[0][column];
                const double mean = block[0] * step / 8.0 + 128.0;
                // All 64 at once, the DC coefficient set right below: a loop of whole vectors.
                for (int k = 0; k < DCTSIZE2; ++k) {
                    const int rounded = (block[k] * factor + kHalf) >> kFractionBits;
                    block[k] = static_cast<JCOEF>(std::clamp(rounded, -kLargestAc, kLargestAc));
                }
                const double scaled =
                    colourDifference ? 128.0 + (mean - 128.0) * gain : mean * gain;
                const double dc = (std::clamp(scaled, 0.0, 255.0) - 128.0) * 8.0 / step + carried;
                block[0] = static_cast<JCOEF>(std::lround(dc));
                carried = dc - block[0];
            }
        }
    }
}

}  // namespace

std::vector<double> DeflickerTargets(const std::vector<double>& means, int window) {
    const int half = std::max(window, 1) / 2;
    const std::vector<double> trend = LocalMedians(means, half);
    const std::vector<bool> inliers = Inliers(means, trend);
    std::vector<double> targets(means.size());
    for (size_t i = 0; i < means.size(); ++i) {
        const double fit = LocalFit(means, inliers, static_cast<int>(i), half);
        targets[i] = !std::isnan(fit) ? fit : !std::isnan(trend[i]) ? trend[i] : means[i];
    }
    return targets;
}

double DeflickerGain(double mean, double target) {
    if (!(mean > 0) || !(target > 0)) {
        return 1.0;
    }
    return std::clamp(target / mean, 1.0 / kLargestGain, kLargestGain);
}

void ApplyGain(cv::Mat& bgr, double gain) {
    // A gain of a few per cent would round back to the same value in the dark: each value is
    // rounded up or down in a 4x4 ordered pattern, so that the mean takes the whole gain.
    constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    std::array<std::array<uchar, 256>, 16> tables{};
    for (int level = 0; level < 16; ++level) {
        for (int value = 0; value < 256; ++value) {
            tables[level][value] =
                cv::saturate_cast<uchar>(std::floor(value * gain + (level + 0.5) / 16.0));
        }
    }
    const int rowBytes = bgr.cols * static_cast<int>(bgr.elemSize());
    for (int y = 0; y < bgr.rows; ++y) {
        const int* levels = kBayer[y % 4];
        const std::array<const uchar*, 4> row4 = {
            tables[levels[0]].data(), tables[levels[1]].data(), tables[levels[2]].data(),
            tables[levels[3]].data()};
        uchar* row = bgr.ptr<uchar>(y);
        int x = 0;
        for (; x + 4 <= rowBytes; x += 4) {
            row[x] = row4[0][row[x]];
            row[x + 1] = row4[1][row[x + 1]];
            row[x + 2] = row4[2][row[x + 2]];
            row[x + 3] = row4[3][row[x + 3]];
        }
        for (; x < rowBytes; ++x) {
            row[x] = row4[x % 4][row[x]];
        }
    }
}

std::vector<uchar> ApplyGainToJpeg(const std::vector<uchar>& jpeg, double gain) {
    JpegDecompression decompression(jpeg);
    JpegCompression compression;
    jpeg_decompress_struct& in = decompression.In();
    jpeg_compress_struct& out = compression.Out();
    struct {
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        bool whole = false;
    } scaled;  // in memory, where libjpeg's jump leaves it as it was
    // A failure of either side comes back to its own Run; only both ending gives a picture.
    compression.Run([&] {
        scaled.whole = decompression.Run([&] {
            jpeg_read_header(&in, TRUE);
            jvirt_barray_ptr* coefficients = jpeg_read_coefficients(&in);
            jpeg_copy_critical_parameters(&in, &out);
            jpeg_mem_dest(&out, &scaled.buffer, &scaled.size);
            ScaleCoefficients(in, coefficients, gain);
            jpeg_write_coefficients(&out, coefficients);
            jpeg_finish_compress(&out);
            jpeg_finish_decompress(&in);
        });
    });
    std::vector<uchar> result;
    if (scaled.whole) {
        result.assign(scaled.buffer, scaled.buffer + scaled.size);
    }
    std::free(scaled.buffer);
    return result;
}
