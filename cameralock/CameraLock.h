#pragma once

#include <string>

#include "cameralock/CameraControls.h"
#include "cameralock/LockPlan.h"

// Holds `choice` on the camera: reads its controls, makes the calls of PlanCameraLock in order
// and reads each back. Returns one sentence that names every value the driver refused or changed,
// or empty when it took them all (or had none of the controls).
std::string LockCamera(CameraControls& controls, const CameraLockChoice& choice);
