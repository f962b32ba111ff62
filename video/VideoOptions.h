#pragma once

#include <string>

#include "frames/FrameFile.h"

// The video maker's choices beyond the range and the rate; with their defaults the video is made
// from the frames exactly as they are, into output.avi, stopping at the first bad frame.
struct VideoOptions {
    // A name in the frame folder, or (from the command line) a path; .mp4 chooses MP4.
    std::string outputName = kVideoFileName;
    bool deflicker = false;    // smooth each frame's brightness toward its neighbours'
    int deflickerWindow = 15;  // frames, centred on the frame
    bool skipBad = false;      // leave bad frames out instead of stopping at them
    int width = 0;             // scale to this width keeping the aspect; 0 keeps the size
    double lengthSeconds = 0;  // choose the rate so the video lasts this long; 0 keeps it

    bool operator==(const VideoOptions&) const = default;
};
