#pragma once

#include <memory>
#include <string>

#include "cameralock/CameraControls.h"

// The controls of the Video4Linux device at `path`, opened beside whoever captures from it (V4L2
// lets several open a device; controls are the device's, not the opener's). Null when the path
// cannot be opened. Never blocks on the device.
std::unique_ptr<CameraControls> OpenV4l2Controls(const std::string& path);
