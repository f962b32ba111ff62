#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "cameralock/CameraControls.h"

// What to hold of a camera once it has metered its scene.
struct CameraLockChoice {
    // Holds the exposure, white balance and focus the camera has reached.
    bool lock = false;
    // The mains frequency for the camera's anti-flicker filter, 50 or 60; nothing leaves the
    // filter as it is.
    std::optional<int> powerLineHz;

    bool AsksAnything() const { return lock || powerLineHz.has_value(); }
};

// One VIDIOC_S_CTRL call.
struct ControlSetting {
    std::uint32_t id;
    std::int32_t value;
    bool operator==(const ControlSetting&) const = default;
};

// The calls that hold `choice` on a camera offering `controls`, in the order they must be made:
// the power-line filter, then for exposure, white balance and focus in turn the automatic
// switched off and the value it had reached set as the manual one. A control the camera lacks,
// or cannot write, is left out; a value is kept within the control's range and steps.
std::vector<ControlSetting> PlanCameraLock(const std::vector<CameraControl>& controls,
                                           const CameraLockChoice& choice);

// The calls that let the camera meter its scene before `choice` locks it: each automatic of the
// lock that the camera offers switched on, exposure to aperture priority (automatic exposure time,
// the automatic mode of UVC cameras) or, where the camera has no such mode, to automatic. None
// when `choice` does not lock.
std::vector<ControlSetting> PlanCameraMetering(const std::vector<CameraControl>& controls,
                                               const CameraLockChoice& choice);

// The program's name of a control of the plan ("exposure time"), for messages.
const char* ControlName(std::uint32_t id);
