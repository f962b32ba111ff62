#pragma once

#include <opencv2/core/mat.hpp>
#include <vector>

// Smooths each frame's brightness toward its neighbours'. Brightness is the mean of the coded
// (gamma-encoded) luma, 0 to 255, as JPEG stores it (JudgeFrame measures it); corrections are
// gains on coded values.

// The brightness each frame is brought to, from the frames' mean lumas (NaN for a frame without
// one): a local linear fit over `window` frames centred on the frame, weighted toward its
// centre, which follows slow changes such as a sunset. Frames far off the local median are left
// out of their neighbours' fits, so a frame the camera got wrong pulls no other frame with it;
// it gets the fit of its neighbours as its own target.
std::vector<double> DeflickerTargets(const std::vector<double>& means, int window);

// The gain that brings a frame of mean luma `mean` to `target`, within limits that keep a black
// frame's noise from being blown up.
double DeflickerGain(double mean, double target);

// Multiplies the coded values of a BGR picture by `gain`. The same gain on R'G'B' is that gain
// on luma and on both colour differences, so hue and saturation stay as they are.
// Safe to call from any thread.
void ApplyGain(cv::Mat& bgr, double gain);

// The same gain on a whole baseline JPEG, without decoding its pictures: the quantised DCT
// coefficients are scaled, which is that gain on the decoded coded values (the transform is
// linear), and the frame keeps its own quantisation, so a second encoding loses nothing more
// than the rounding of the scaled coefficients. Empty when libjpeg cannot read it.
// Safe to call from any thread.
std::vector<uchar> ApplyGainToJpeg(const std::vector<uchar>& jpeg, double gain);
