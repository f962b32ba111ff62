#pragma once

#include <string>

class CameraSource;
namespace cv {
class Mat;
}

// The routine of a capture thread; `param` is the CVornDlg that started it. Returns 0.
unsigned CaptureThreadProc(void* param);

// Asks `camera` for the capture size that a resolution code packs; the camera may ignore it.
void SetCaptureSize(CameraSource& camera, int resolutionCode);

// The local date and time as month/day/two-digit year and 24-hour time: 12/31/10 23:59:59.
std::string LocalTimeText();

// Draws the local time onto `frame` in white at (10, 60).
void DrawTimestamp(cv::Mat& frame);
