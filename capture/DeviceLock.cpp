#include "capture/DeviceLock.h"

#include <dirent.h>
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
int OpenLockFile(const std::string& path) {
    return ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
}

// Whether a launch of another profile than `ownFile` holds its file of the device `stem`.
bool OtherProfileHolds(const std::string& folder, const std::string& stem,
                       const std::string& ownFile) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return false;
    }
    bool held = false;
    const std::string prefix = stem + "@";
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (held || name == ownFile || !name.starts_with(prefix) || !name.ends_with(".lock")) {
            continue;
        }
        const int fd = ::openat(::dirfd(dir), entry->d_name, O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
            ::close(fd);
        }
    }
    ::closedir(dir);
    return held;
}

class OpenFile {
public:
    explicit OpenFile(int fd) : m_fd(fd) {}
    ~OpenFile() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int Get() const { return m_fd; }
    int Release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

}  // namespace

DeviceLock::~DeviceLock() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

DeviceLock::DeviceLock(DeviceLock&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

DeviceLock& DeviceLock::operator=(DeviceLock&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

std::optional<DeviceLock> DeviceLock::Take(const std::string& device, const std::string& profile,
                                           Clock& clock, Seconds wait,
                                           const std::stop_token& stop) {
    const std::string folder = LockFolder();
    const std::string stem = LockStem(device);
    const std::string ownFile = stem + "@" + profile + ".lock";
    const OpenFile gate(OpenLockFile(folder + "/" + stem + ".lock"));
    OpenFile own(OpenLockFile(folder + "/" + ownFile));
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
                return DeviceLock(own.Release());
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
