#pragma once

#include <optional>
#include <string>

#include "cameralock/CameraControls.h"
#include "cameralock/LockPlan.h"

// Lets the camera meter its scene for `choice` (PlanCameraMetering). An automatic it will not
// switch on is left as it is: the lock then holds what the camera has.
void MeterCamera(CameraControls& controls, const CameraLockChoice& choice);

// Holds `choice` on the camera: reads its controls, makes the calls of PlanCameraLock in order
// and reads each back. Returns one sentence that names every value the driver refused or changed,
// or nothing when it took them all (or had none of the controls).
std::optional<std::string> LockCamera(CameraControls& controls, const CameraLockChoice& choice);
