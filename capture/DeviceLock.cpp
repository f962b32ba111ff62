#include "capture/DeviceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>

namespace {

// How often a device another profile holds is tried again.
constexpr int kRetryMs = 100;

// The device's own path, links (/dev/v4l/by-id/...) followed; the path as given when it is not
// there.
std::string CanonicalDevice(const std::string& device) {
    char resolved[PATH_MAX];
    return ::realpath(device.c_str(), resolved) != nullptr ? std::string(resolved) : device;
}

std::string LockFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime != nullptr && *runtime == '/' ? std::string(runtime) : std::string("/tmp");
}

// The name the device's lock files start with: vorn-dev-video0.
std::string LockStem(const std::string& device) {
    std::string name = CanonicalDevice(device);
    while (!name.empty() && name.front() == '/') {
        name.erase(0, 1);
    }
    for (char& c : name) {
        c = c == '/' ? '-' : c;
    }
    return "vorn-" + name;
}

// Never through a link: /tmp is shared with every user.
UniqueFd OpenLockFile(const std::string& path) {
    return UniqueFd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666));
}

// Whether a launch of another profile than `ownFile` holds its file of the device `stem`.
bool OtherProfileHolds(const std::string& folder, const std::string& stem,
                       const std::string& ownFile) {
    const UniqueFd dir = OpenFolder(folder);
    bool held = false;
    const std::string prefix = stem + "@";
    ForEachNameIn(dir.Get(), [&](std::string_view name) {
        if (held || name == ownFile || !name.starts_with(prefix) || !name.ends_with(".lock")) {
            return;
        }
        const UniqueFd fd(
            ::openat(dir.Get(), std::string(name).c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
        held = fd.IsOpen() && ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    });
    return held;
}

}  // namespace

std::optional<DeviceLock> DeviceLock::Take(const std::string& device, const std::string& profile,
                                           Clock& clock, Seconds wait,
                                           const std::stop_token& stop) {
    const std::string folder = LockFolder();
    const std::string stem = LockStem(device);
    const std::string ownFile = stem + "@" + profile + ".lock";
    const UniqueFd gate = OpenLockFile(folder + "/" + stem + ".lock");
    UniqueFd own = OpenLockFile(folder + "/" + ownFile);
    if (gate.Get() < 0 || own.Get() < 0) {
        return DeviceLock();
    }
    const std::int64_t from = clock.Counter();
    while (true) {
        // Under the device's lock no other launch looks or takes, so what is seen stays true
        // until the profile's file is held.
        if (::flock(gate.Get(), LOCK_EX | LOCK_NB) == 0) {
            const bool busy = OtherProfileHolds(folder, stem, ownFile);
            const bool taken = !busy && ::flock(own.Get(), LOCK_SH) == 0;
            ::flock(gate.Get(), LOCK_UN);
            if (taken) {
                return DeviceLock(std::move(own));
            }
            if (!busy) {
                return DeviceLock();
            }
        } else if (errno != EWOULDBLOCK && errno != EINTR) {
            return DeviceLock();
        }
        if (SecondsFrom(clock, from) >= wait || !clock.SleepUnlessStopped(kRetryMs, stop)) {
            return std::nullopt;
        }
    }
}
