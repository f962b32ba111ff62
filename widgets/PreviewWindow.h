#pragma once

#include <string>

namespace cv {
class Mat;
}

// A named image window with the four operations a capture loop needs. Every function is safe to
// call from any thread: the widgets live on the UI thread, images reach them by queued call, and
// only the latest image of a window is kept.

// Creates the window `name` (automatic size) unless it exists. Safe to call from any thread.
void NamedWindow(const std::string& name);

// Shows a deep copy of `image` (8-bit, one or three channels, BGR) in the window `name`, which
// takes the image's size. Does nothing for an empty image or an unknown window.
// Safe to call from any thread.
void ShowImage(const std::string& name, const cv::Mat& image);

// Waits up to `ms` milliseconds (at least 1) for a key pressed in a preview window and returns its
// code, or -1 when none came. A key pressed before the call and not yet taken is returned at once.
// On the UI thread it keeps processing events while it waits. Safe to call from any thread.
int WaitKey(int ms);

// The code of a key pressed in a preview window and not yet taken, or -1, without waiting. On the
// UI thread it first processes the events already pending. Safe to call from any thread.
int PollKey();

// Destroys the window `name` if it exists. Safe to call from any thread.
void DestroyWindow(const std::string& name);
