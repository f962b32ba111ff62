#pragma once

#include <string>
#include <vector>

#include "capture/CameraSource.h"

// What the video capture module offers (platform/LoadableModule): a cv::VideoCapture opened as
// asked, as a CameraSource; its function never throws.
inline constexpr char kVideoCaptureModule[] = "videoio";
inline constexpr char kOpenVideoCaptureSymbol[] = "VornOpenVideoCapture";

// How to open a source: the backend and its parameters are chosen by the program, the module only
// opens.
struct VideoCaptureRequest {
    int index = 0;               // the camera, when `source` is empty
    std::string source;          // a device, pipeline, address or file
    int api = 0;                 // cv::VideoCaptureAPIs
    std::vector<int> params;     // cv::VideoCapture's open parameters
    bool takesSize = true;       // a pipeline keeps the size it was written with
    bool reopenable = false;     // a camera or stream can come back after a hiccup
    bool readsFileRate = false;  // a video file: its frame rate paces it
};

// The opened source, owned by the caller, or nullptr when it cannot be opened.
using OpenVideoCaptureFunction = CameraSource*(const VideoCaptureRequest* request) noexcept;
