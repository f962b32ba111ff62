#pragma once

#include <chrono>

#include "capture/CameraSource.h"

// Wraps `open` so that the opening and every call of the camera it opens run on a thread of their
// own, so a source that never answers cannot hold the caller. An open over `openLimit` counts as
// no camera; a grab, retrieve or set over `grabLimit` fails, and so does every later call. A call
// left behind keeps the camera alive on its thread, which closes it and ends once the call returns.
CameraOpener BoundedOpener(CameraOpener open, std::chrono::milliseconds openLimit,
                           std::chrono::milliseconds grabLimit);
