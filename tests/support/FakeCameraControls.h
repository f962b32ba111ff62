#pragma once

#include <QString>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "cameralock/CameraControls.h"
#include "cameralock/LockPlan.h"

// A Video4Linux device's controls replayed from what `v4l2-ctl -L` printed for a real camera.
// Copies share one device, so a test reads what the code under test did with its copy. Safe to
// call from any thread.
class FakeCameraControls final : public CameraControls {
public:
    // The device of a `v4l2-ctl -L` listing; null when a line names a control this parser does
    // not know, or gives it another id than <linux/videodev2.h> (told with qWarning).
    static std::unique_ptr<FakeCameraControls> FromListing(const QString& path);

    std::vector<CameraControl> List() override;
    bool Set(std::uint32_t id, std::int32_t value) override;
    std::optional<std::int32_t> Get(std::uint32_t id) override;

    // The driver refuses every value of control `id`.
    void Refuse(std::uint32_t id);
    // The driver takes a value of control `id`, but the camera holds `held` whatever it was set to.
    void HoldAt(std::uint32_t id, std::int32_t held);
    // Every Set call, taken or not, in order.
    std::vector<ControlSetting> Sets() const;

private:
    struct Device {
        mutable std::mutex mutex;  // guards everything below
        std::vector<CameraControl> controls;
        std::set<std::uint32_t> refused;
        std::map<std::uint32_t, std::int32_t> held;
        std::vector<ControlSetting> sets;
    };

    FakeCameraControls() : m_device(std::make_shared<Device>()) {}
    CameraControl* Find(std::uint32_t id);  // m_device->mutex held

    std::shared_ptr<Device> m_device;
};
