#include "cameralock/CameraLock.h"

#include <vector>

void MeterCamera(CameraControls& controls, const CameraLockChoice& choice) {
    for (const ControlSetting& setting : PlanCameraMetering(controls.List(), choice)) {
        controls.Set(setting.id, setting.value);
    }
}

std::optional<std::string> LockCamera(CameraControls& controls, const CameraLockChoice& choice) {
    std::vector<std::string> untaken;
    for (const ControlSetting& setting : PlanCameraLock(controls.List(), choice)) {
        const std::string asked =
            std::string(ControlName(setting.id)) + " " + std::to_string(setting.value);
        if (!controls.Set(setting.id, setting.value)) {
            untaken.push_back(asked + " (refused)");
        } else if (const auto now = controls.Get(setting.id); !now) {
            untaken.push_back(asked + " (cannot be read back)");
        } else if (*now != setting.value) {
            untaken.push_back(asked + " (the camera keeps " + std::to_string(*now) + ")");
        }
    }
    if (untaken.empty()) {
        return std::nullopt;
    }
    std::string message = "The camera did not take every value of its lock: ";
    for (std::size_t i = 0; i < untaken.size(); ++i) {
        message += (i == 0 ? "" : ", ") + untaken[i];
    }
    return message + ".";
}
