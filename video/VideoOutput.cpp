#include "video/VideoOutput.h"

#include <algorithm>
#include <climits>  // NAME_MAX
#include <cmath>
#include <cstdio>

namespace {

int EvenAtLeastTwo(long long pixels) {
    return static_cast<int>(std::max<long long>(2, pixels - pixels % 2));
}

std::string Decimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

std::optional<std::string> OutputNameTrouble(std::string_view name) {
    if (!ContainerOf(name)) {
        return "the video's name must end in .avi or .mp4";
    }
    if (name.size() == 4) {
        return "the video's name is empty (nothing before " + std::string(name) + ")";
    }
    if (name.size() > NAME_MAX) {
        return "the video's name is too long (" + std::to_string(name.size()) +
               " bytes; a file name holds at most " + std::to_string(NAME_MAX) + ")";
    }
    // Hidden names are the temporary files' own; a folder is the frame folder; blanks at either
    // end would not survive the settings file.
    if (name.find('/') != std::string_view::npos || name.front() == '.' || name.front() == ' ') {
        return "the video's name is a file name in the frame folder, without '/' or a leading '.' "
               "or blank";
    }
    // A newline would split the lines that name the video, here and in any script reading them.
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
        return "the video's name holds a newline or another control character";
    }
    return std::nullopt;
}

std::optional<std::string> OutputPathTrouble(std::string_view output) {
    const std::size_t slash = output.rfind('/');
    return OutputNameTrouble(slash == std::string_view::npos ? output : output.substr(slash + 1));
}

std::string VideoPath(const std::string& frameDir, const std::string& output) {
    return output.find('/') == std::string::npos ? frameDir + output : output;
}

std::string VideoPlace(const std::string& frameDir, const std::string& output) {
    return output.find('/') == std::string::npos ? output + " in " + frameDir : output;
}

std::string VideoFolder(const std::string& frameDir, const std::string& output) {
    const std::size_t slash = output.rfind('/');
    return slash == std::string::npos ? frameDir : output.substr(0, slash + 1);
}

std::string PartialVideoName(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    const std::size_t nameStart = name.rfind('/') + 1;  // 0 for a plain name
    std::string stem = name.substr(nameStart, dot - nameStart);
    const std::string ending = ".partial" + name.substr(dot);
    // A name near the longest a file name may be loses the end of its stem, whole UTF-8
    // characters at a time.
    while (!stem.empty() && stem.size() + ending.size() > NAME_MAX) {
        while (stem.size() > 1 && (static_cast<unsigned char>(stem.back()) & 0xC0) == 0x80) {
            stem.pop_back();
        }
        stem.pop_back();
    }
    return name.substr(0, nameStart) + stem + ending;
}

cv::Size ScaledToWidth(cv::Size frame, int width) {
    if (width <= 0 || frame.width <= 0) {
        return frame;
    }
    const long long height = std::llround(static_cast<double>(frame.height) * width / frame.width);
    return {EvenAtLeastTwo(width), EvenAtLeastTwo(height)};
}

int FramesTheGapTakes(int start, int end, int gap) {
    gap = std::max(gap, 1);
    return end <= start ? 0 : end / gap - start / gap;
}

std::optional<FrameRate> RateForLength(int frames, double seconds, std::string& why) {
    const double fps = frames / seconds;
    if (!(fps >= kSlowestFps && fps <= kFastestFps)) {
        why = "a video of " + std::to_string(frames) + " frames cannot last " + Decimal(seconds) +
              " seconds: it would take " + Decimal(fps) +
              " frames a second, and the rate goes from " + Decimal(kSlowestFps) + " to " +
              Decimal(kFastestFps);
        return std::nullopt;
    }
    return NearestFrameRate(fps);
}
