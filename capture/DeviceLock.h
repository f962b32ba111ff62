#pragma once

#include <optional>
#include <stop_token>
#include <string>
#include <utility>

#include "platform/Clock.h"
#include "platform/PosixFiles.h"

// Keeps two profiles from opening the same camera device at once, while the launches of one
// profile share it as they always have (its settings lock orders them). Files named from the
// device's canonical path, in $XDG_RUNTIME_DIR (or /tmp): each launch holds a shared flock on
// its profile's file (vorn-dev-video0@garden.lock, vorn-dev-video0@.lock without a profile), and
// takes it only while no other profile's file is held, both looked at under the device's own
// lock (vorn-dev-video0.lock). Held until the object goes; a process that dies lets it go with
// its files.
class DeviceLock {
public:
    DeviceLock() = default;

    // Takes `device` for `profile`, trying again until `wait` has passed on `clock` or `stop` is
    // requested; nothing when another profile holds it all that time. Lock files that cannot be
    // opened lock nothing and do not keep the camera from opening: the camera tells then.
    static std::optional<DeviceLock> Take(const std::string& device, const std::string& profile,
                                          Clock& clock, Seconds wait,
                                          const std::stop_token& stop = {});

private:
    explicit DeviceLock(UniqueFd fd) : m_fd(std::move(fd)) {}
    UniqueFd m_fd;
};
