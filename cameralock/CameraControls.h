#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// One control of a Video4Linux device as VIDIOC_QUERYCTRL and VIDIOC_G_CTRL give it.
struct CameraControl {
    std::uint32_t id = 0;  // V4L2_CID_...
    std::int32_t value = 0;
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    std::int32_t step = 1;
    bool readOnly = false;  // read-only or held by another user of the device
};

// The controls of one camera, opened beside the capture. Tests replace the device with a fake.
class CameraControls {
public:
    virtual ~CameraControls() = default;
    // The controls the device offers that can be read, with their values now.
    virtual std::vector<CameraControl> List() = 0;
    // VIDIOC_S_CTRL; false when the driver refused the value.
    virtual bool Set(std::uint32_t id, std::int32_t value) = 0;
    // VIDIOC_G_CTRL; nothing when the control cannot be read.
    virtual std::optional<std::int32_t> Get(std::uint32_t id) = 0;
};
