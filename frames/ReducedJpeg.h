#pragma once

#include <optional>
#include <string>

// The JPEG at `path` at most `maxWidth` pixels wide, its aspect kept: a frame that narrow already
// comes back as its own bytes; a wider one is decoded at libjpeg's nearest reduced scale (which
// skips most of the work of a full decode), narrowed the rest of the way and encoded again.
// Nothing when the file cannot be read or decoded. Safe to call from any thread.
std::optional<std::string> ReducedJpeg(const std::string& path, int maxWidth);
