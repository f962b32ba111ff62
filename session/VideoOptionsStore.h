#pragma once

#include "video/VideoOptions.h"

// The video maker's options as the settings file keeps them; a value that is missing or not one
// the video maker takes gives its default.
VideoOptions ReadVideoOptions();

// Stores each of `options` in the settings file in one rewrite under its lock, changing only those
// lines (and adding the ones it lacks); false when the lock or the write failed.
bool StoreVideoOptions(const VideoOptions& options);
