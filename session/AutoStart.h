#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "capture/OneFrameCapture.h"
#include "platform/FreeSpace.h"

class Clock;

// Takes one frame as an unattended launch does, with the settings of the settings file: waits
// for the camera's warm-up, saves the frame under the next number without replacing a file, and
// counts it. The count is read afresh, the frame saved and the new count stored under the
// settings lock, so launches at the same time each get their own number; the count goes up only
// once the frame file is complete, and no frame is taken when the count cannot be stored. Every
// failure is told with TellUnattended. `frameNumber`, when given, receives the saved frame's
// number. A launch outside the capture schedule, or with less free space than MIN_FREE_MB on the
// frame folder's disk (as `freeSpace` tells it, before the camera opens and again before the
// frame is written), takes no frame; one with LATEST_FRAME=1 makes latest.jpg the saved frame.
// Once the frame folder is known, the launch's outcome (its code and its line) is recorded there
// (frames/AttemptRecord.h).
ExitCode TakeCountedFrame(const CameraOpener& openCamera, Clock& clock,
                          const std::function<bool(const cv::Mat&)>& showFrame,
                          int* frameNumber = nullptr,
                          const FreeSpaceProbe& freeSpace = DefaultFreeSpace());

// Shows a message of a launch nobody may be watching, beside its line on standard error. The
// window hands in a message box that closes itself; without one, standard error is all.
using UnattendedBox = std::function<void(const QString& text)>;

// Puts `box` in place of the current one and returns the one it replaces.
UnattendedBox SetUnattendedBox(UnattendedBox box);

// Tells a message of a launch nobody may be watching: one line on standard error, and the
// unattended box.
void TellUnattended(const QString& text);

// What makes the installation broken for taking and saving frames (a module of the program
// missing, unreadable or damaged), or nothing.
std::optional<std::string> InstallationTrouble();

// `vorn --take-frame`: one frame with the real camera and clock, no window.
ExitCode RunTakeFrame();
