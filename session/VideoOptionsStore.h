#pragma once

#include "video/VideoOptions.h"

// The video maker's options as the settings file keeps them, each under a key of its own
// (VIDEO_OUTPUT, VIDEO_DEFLICKER, VIDEO_DEFLICKER_WINDOW, VIDEO_SKIP_BAD, VIDEO_WIDTH,
// VIDEO_LENGTH); a value that is missing or not one the options take gives its default.
VideoOptions ReadVideoOptions();

// Stores each of `options` under its key, changing only those lines of the settings file (and
// adding the ones it lacks); false when the file could not be written.
bool StoreVideoOptions(const VideoOptions& options);
