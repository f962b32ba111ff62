#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "frames/FrameFile.h"

// The fields of the window's choice of frames by the time they were taken; each holds the text
// the command-line option of its name takes (kFrameTimeOptions), empty when it is not used.
enum class FrameTimeField { Day, From, To, Between, DailyAt, Tolerance, Every };
inline constexpr std::size_t kFrameTimeFieldCount = 7;
inline constexpr const char* kFrameTimeOptions[kFrameTimeFieldCount] = {
    "day", "from", "to", "between", "daily-at", "tolerance", "every"};

// The window chooses a video's frames by number (Start, End and Gap), or by when they were taken.
struct FramesByTime {
    bool on = false;
    std::array<std::string, kFrameTimeFieldCount> texts;

    const std::string& Text(FrameTimeField field) const {
        return texts[static_cast<std::size_t>(field)];
    }
    bool operator==(const FramesByTime&) const = default;
};

// The video maker's choices beyond the range and the rate; with their defaults the video is made
// from the frames exactly as they are, into output.avi, stopping at the first bad frame.
struct VideoOptions {
    // A name in the frame folder, or (from the command line) a path; .mp4 chooses MP4.
    std::string outputName = kVideoFileName;
    bool deflicker = false;     // smooth each frame's brightness toward its neighbours'
    int deflickerWindow = 15;   // frames, centred on the frame
    bool skipBad = false;       // leave bad frames out instead of stopping at them
    int width = 0;              // scale to this width keeping the aspect; 0 keeps the size
    double lengthSeconds = 0;   // choose the rate so the video lasts this long; 0 keeps it
    FramesByTime framesByTime;  // the window's; the command line has options of its own
    int encoderThreads = 0;     // 0: as many as the encoder picks for the processor
    int lookAheadFrames = 0;    // frames the encoder plans ahead over; 0 is its own default

    bool operator==(const VideoOptions&) const = default;
};
