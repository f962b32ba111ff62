#pragma once

#include <opencv2/core/types.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "video/VideoWriter.h"

// The choices that shape the video file: its name and container, its width, its length, and the
// frames the video maker leaves out when it skips bad ones.

// The slowest and fastest rate a video gets: one frame in 100 seconds is no video anyone watches,
// and the AVI's time base could not hold slower ones.
inline constexpr double kSlowestFps = 0.01;
inline constexpr double kFastestFps = 1000.0;
// The widest video any compressor makes (Motion JPEG's largest side).
inline constexpr int kWidestVideo = 8192;
// A deflicker window of fewer than three frames smooths nothing; a wider one than this blurs a
// day's light.
inline constexpr int kNarrowestDeflickerWindow = 3;
inline constexpr int kWidestDeflickerWindow = 999;

// A width to scale to: 0 (the frames' own) or 2 to kWidestVideo.
inline bool IsWidthToScaleTo(int width) {
    return width == 0 || (width >= 2 && width <= kWidestVideo);
}
// Odd, so that the window is centred on its frame.
inline bool IsDeflickerWindow(int frames) {
    return frames >= kNarrowestDeflickerWindow && frames <= kWidestDeflickerWindow &&
           frames % 2 == 1;
}

// What is wrong with `name` as the video's file name in the frame folder (a plain name ending in
// .avi or .mp4), or nothing.
std::optional<std::string> OutputNameTrouble(std::string_view name);

// What is wrong with `output` as --output gives it: a plain name as OutputNameTrouble takes it, or
// a path (holding a '/') whose file name it takes; or nothing.
std::optional<std::string> OutputPathTrouble(std::string_view output);

// Where the video `output` goes: a plain name into the frame folder `frameDir` (empty or ending
// with '/'), a path as it is (relative to the current folder unless it is absolute).
std::string VideoPath(const std::string& frameDir, const std::string& output);
// The video's place as messages tell it: "output.avi in /frames/", or its path.
std::string VideoPlace(const std::string& frameDir, const std::string& output);
// The folder the video `output` goes into: the frame folder, or the path's own.
std::string VideoFolder(const std::string& frameDir, const std::string& output);

// Where a cancelled video goes beside an earlier complete one: output.avi gives
// output.partial.avi (and videos/out.mp4 videos/out.partial.mp4).
std::string PartialVideoName(const std::string& name);

// The size a video of `frame` pictures gets at `width` pixels across, keeping the aspect, both
// sides even so that every 4:2:0 encoder takes it; `frame` itself when `width` is 0.
cv::Size ScaledToWidth(cv::Size frame, int width);

// The number of frames of the range [start, end) that the gap takes (aligned to frame 10000).
int FramesTheGapTakes(int start, int end, int gap);

// The rate at which `frames` frames last `seconds`, within kSlowestFps .. kFastestFps; nothing
// when it lies outside, and `why` then says so.
std::optional<FrameRate> RateForLength(int frames, double seconds, std::string& why);
