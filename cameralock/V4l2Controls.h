#pragma once

#include <memory>
#include <string>

#include "cameralock/CameraControls.h"

// The controls of the Video4Linux device at `path`, opened beside whoever captures from it (V4L2
// lets several open a device; controls are the device's, not the opener's). Null when the path
// cannot be opened. Never blocks on the device.
std::unique_ptr<CameraControls> OpenV4l2Controls(const std::string& path);

// The maker and model a camera's frames are labelled with; empty when not known.
struct CameraIdentity {
    std::string make;
    std::string model;
};

// The Video4Linux device at `path`: the model from its card name, the maker from the
// manufacturer string of the USB device it belongs to. Empty strings when the device cannot be
// asked. One query; never blocks on the device.
CameraIdentity QueryV4l2Identity(const std::string& path);

// The model a card name tells: a USB camera's name is often its product name twice ("HD Pro
// Webcam C920: HD Pro Webcam C920"), which is kept once.
std::string ModelFromCardName(const std::string& card);
