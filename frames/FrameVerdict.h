#pragma once

#include <limits>
#include <opencv2/core/mat.hpp>
#include <optional>
#include <string>
#include <vector>

// The one judgement of a frame file that the frame browser, the status page, the video maker
// leaving bad frames out, the pictures and the daily run all go by.

// What makes a frame bad, in the order it is judged: a frame that cannot be read whole is not
// compared with the frame before, and a repeat is told before its picture is.
enum class FrameFault {
    Missing,
    Empty,
    CutShort,
    Damaged,
    Repeat,  // the same bytes as the frame before it: a camera that froze sends them again
    NearlyBlack,
    NearlyWhite,
};

// How the pictures count the frames they leave out: "missing", "empty", "cut short", "damaged",
// "repeated", "nearly black", "nearly white".
const char* FaultWord(FrameFault fault);

// A picture is nearly black or nearly white by its mean luma (0 to 255, as the JPEG codes it).
inline constexpr double kNearlyBlackLuma = 10.0;   // a mean below this is nearly black
inline constexpr double kNearlyWhiteLuma = 245.0;  // a mean above this is nearly white

// The most pixels a frame may declare: those of the largest video (Motion JPEG's 8192x8192). A
// frame that claims more is damaged, told from its header before anything is decoded: 16000x16000
// over a few kilobytes would take most of a gigabyte to decode into grey.
inline constexpr long long kLargestFramePixels = 8192LL * 8192;

struct FrameVerdict {
    std::optional<FrameFault> fault;  // nothing for a good frame
    // Of a damaged frame, what damaged it: "corrupt picture data", "cannot be decoded", "not a
    // picture", "larger than 256 MB", ...
    std::string detail;
    // The mean coded luma, 0 to 255, of the picture decoded at an eighth of its size; NaN when
    // it was not decoded whole.
    double meanLuma = std::numeric_limits<double>::quiet_NaN();

    bool Good() const { return !fault; }
    // Whether it has no whole picture to show: missing, empty, cut short or damaged.
    bool Unreadable() const;
    // The reason the video maker and the frame browser give: "missing", "empty file", "cut
    // short", the damage's detail, "a repeat of the frame before it", "nearly black (mean luma
    // 3)"; empty for a good frame.
    std::string Sentence() const;
};

// A frame bad for `fault` alone; a damaged one's detail says what damaged it.
FrameVerdict BadFrame(FrameFault fault);
FrameVerdict DamagedFrame(std::string detail);

// Good, nearly black or nearly white, by the mean coded luma of a picture decoded whole.
FrameVerdict VerdictOfLuma(double meanLuma);

// Damaged ("declares 16000x16000 pixels, more than a video holds") when a frame declares more
// than kLargestFramePixels; nothing otherwise.
std::optional<FrameVerdict> DeclaredSizeVerdict(long long width, long long height);

// Judges the picture in `bytes`: empty, cut short, damaged, nearly black or white, or good. A JPEG
// is decoded by libjpeg at an eighth of its size, which still reads all of its compressed data:
// data that ends before the picture does, or that libjpeg must skip, makes it bad. Any other
// picture is decoded by OpenCV. Never a repeat: that takes the frame before. Safe to call from
// any thread.
FrameVerdict JudgeFrame(const std::vector<uchar>& bytes);

// Reads the frame file at `path` into `bytes` (ReadFrameBytes): good, missing, or damaged when it
// cannot be read whole ("larger than 256 MB", "not a regular file", "cannot be read").
FrameVerdict ReadFrame(const std::string& path, std::vector<uchar>& bytes);

// `decoded`, the verdict of `bytes` by their picture, made a repeat when they hold a whole
// picture and the file `before` (the frame before; none when empty) holds the same bytes. Only a
// file of the same size is read.
FrameVerdict WithRepeat(FrameVerdict decoded, const std::string& before,
                        const std::vector<uchar>& bytes);

// The whole verdict of the frame file at `path`, whose frame before is the file `before` (none
// when empty); `bytes` holds it after. Safe to call from any thread.
FrameVerdict JudgeFrameFile(const std::string& path, const std::string& before,
                            std::vector<uchar>& bytes);
