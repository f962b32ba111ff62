#pragma once

#include <csetjmp>
#include <cstdio>
#include <opencv2/core/mat.hpp>
#include <optional>
#include <string>
#include <vector>

// After <cstdio>, which it needs.
#include <jpeglib.h>

// The most pixels a frame may declare: those of the largest video (Motion JPEG's 8192x8192). A
// frame that claims more is damaged, told from its header before anything is decoded: 16000x16000
// over a few kilobytes would take most of a gigabyte to decode into grey.
inline constexpr long long kLargestFramePixels = 8192LL * 8192;

// What decoding a frame file finds: the one judgement of a frame's picture that every way into
// the video (copied, encoded again, corrected, left out when bad) goes by.
struct FrameJudgement {
    // What makes it damaged ("cut short", "declares 16000x16000 pixels, more than a video
    // holds", "cannot be decoded", "not a picture"); nothing when it decodes whole.
    std::optional<std::string> trouble;
    // The mean coded luma, 0 to 255, of the picture decoded at an eighth of its size; NaN when
    // it is damaged.
    double meanLuma = 0;
};

// What makes a frame that declares `width` x `height` pixels damaged, or nothing: more pixels
// than kLargestFramePixels.
std::optional<std::string> DeclaredSizeTrouble(long long width, long long height);

// Judges the picture in `bytes`. A JPEG is decoded by libjpeg at an eighth of its size, which
// still reads all of its compressed data: data that ends before the picture does, or that libjpeg
// must skip, makes it damaged. Any other picture is decoded by OpenCV. Safe to call from any
// thread.
FrameJudgement JudgeFrame(const std::vector<uchar>& bytes);

// libjpeg's errors in the program's own decodes: an error comes back by longjmp to `jump`; a
// warning is kept in `firstWarning` and counted in `manager.num_warnings`, never printed (libjpeg's
// lines would stand unprefixed among the program's).
struct SilentJpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    int firstWarning = -1;  // libjpeg's message code
};

// What libjpeg's warning `code` (SilentJpegErrors::firstWarning) says about the picture: lost data
// ("cut short", "corrupt picture data"), or nothing that harms it (an unknown JFIF version, a bad
// thumbnail).
std::optional<std::string> JpegWarningTrouble(int code);

// Sets `errors` up for one libjpeg object and returns what its `err` takes.
jpeg_error_mgr* UseSilentJpegErrors(SilentJpegErrors& errors);
