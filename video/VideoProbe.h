#pragma once

#include <optional>
#include <string>

// The number of video frames in the file at `path`, read back from the file itself (libavformat:
// the packets of its video stream); nothing when it cannot be opened or read. A file cut short
// gives nothing rather than the frames before the cut, so that no one deletes frames on the word
// of a video that does not hold them all.
std::optional<int> VideoFrameCount(const std::string& path);
