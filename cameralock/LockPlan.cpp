#include "cameralock/LockPlan.h"

#include <linux/videodev2.h>

#include <algorithm>

namespace {

// An automatic and the value it sets, with the automatic's settings. The values are those of
// <linux/v4l2-controls.h>; several of the controls were renamed in Linux 5.16, their ids were
// not.
struct AutomaticPair {
    std::uint32_t automatic;
    std::int32_t manual;
    std::int32_t on;
    std::uint32_t value;
};

constexpr AutomaticPair kPairs[] = {
    // On UVC cameras the menu offers manual (1) and aperture priority (3), which is automatic
    // exposure time with a fixed iris.
    {V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL, V4L2_EXPOSURE_APERTURE_PRIORITY,
     V4L2_CID_EXPOSURE_ABSOLUTE},
    {V4L2_CID_AUTO_WHITE_BALANCE, 0, 1, V4L2_CID_WHITE_BALANCE_TEMPERATURE},
    {V4L2_CID_FOCUS_AUTO, 0, 1, V4L2_CID_FOCUS_ABSOLUTE},
};

const CameraControl* Find(const std::vector<CameraControl>& controls, std::uint32_t id) {
    const auto found = std::find_if(controls.begin(), controls.end(), [id](const auto& control) {
        return control.id == id && !control.readOnly;
    });
    return found == controls.end() ? nullptr : &*found;
}

// `value` within the control's range, on its nearest step down from the minimum, as the driver
// would take it.
std::int32_t WithinRange(const CameraControl& control, std::int32_t value) {
    const std::int64_t low = control.minimum;
    const std::int64_t high = std::max(control.maximum, control.minimum);
    std::int64_t kept = std::clamp<std::int64_t>(value, low, high);
    if (control.step > 1) {
        kept = low + (kept - low) / control.step * control.step;
    }
    return static_cast<std::int32_t>(kept);
}

}  // namespace

std::vector<ControlSetting> PlanCameraLock(const std::vector<CameraControl>& controls,
                                           const CameraLockChoice& choice) {
    std::vector<ControlSetting> plan;
    if (choice.powerLineHz && Find(controls, V4L2_CID_POWER_LINE_FREQUENCY)) {
        plan.push_back({V4L2_CID_POWER_LINE_FREQUENCY, *choice.powerLineHz == 50
                                                           ? V4L2_CID_POWER_LINE_FREQUENCY_50HZ
                                                           : V4L2_CID_POWER_LINE_FREQUENCY_60HZ});
    }
    if (!choice.lock) {
        return plan;
    }
    for (const AutomaticPair& pair : kPairs) {
        // Without its automatic the value is already the camera's manual one.
        if (!Find(controls, pair.automatic)) {
            continue;
        }
        plan.push_back({pair.automatic, pair.manual});
        // Read before the automatic was switched off: some cameras go back to their last manual
        // value when it is.
        if (const CameraControl* value = Find(controls, pair.value)) {
            plan.push_back({pair.value, WithinRange(*value, value->value)});
        }
    }
    return plan;
}

std::vector<ControlSetting> PlanCameraMetering(const std::vector<CameraControl>& controls,
                                               const CameraLockChoice& choice) {
    std::vector<ControlSetting> plan;
    for (const AutomaticPair& pair : kPairs) {
        if (const CameraControl* automatic = Find(controls, pair.automatic);
            choice.lock && automatic) {
            // A camera whose exposure menu ends before aperture priority has full automatic.
            plan.push_back({pair.automatic, pair.on <= automatic->maximum ? pair.on : 0});
        }
    }
    return plan;
}

const char* ControlName(std::uint32_t id) {
    switch (id) {
        case V4L2_CID_POWER_LINE_FREQUENCY:
            return "power-line frequency";
        case V4L2_CID_EXPOSURE_AUTO:
            return "exposure mode";
        case V4L2_CID_EXPOSURE_ABSOLUTE:
            return "exposure time";
        case V4L2_CID_AUTO_WHITE_BALANCE:
            return "automatic white balance";
        case V4L2_CID_WHITE_BALANCE_TEMPERATURE:
            return "white balance temperature";
        case V4L2_CID_FOCUS_AUTO:
            return "continuous autofocus";
        case V4L2_CID_FOCUS_ABSOLUTE:
            return "focus";
        default:
            return "control";
    }
}
