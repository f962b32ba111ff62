#include "platform/FreeSpace.h"

#include <sys/statvfs.h>

#include <cerrno>

namespace {

constexpr std::uint64_t kBytesPerMegabyte = std::uint64_t{1024} * 1024;

}  // namespace

std::optional<std::uint64_t> SystemFreeSpace::FreeBytes(const std::string& dir) const {
    struct statvfs status {};
    int result = 0;
    do {
        result = ::statvfs(dir.empty() ? "." : dir.c_str(), &status);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(status.f_bavail) *
           static_cast<std::uint64_t>(status.f_frsize);
}

const FreeSpaceProbe& DefaultFreeSpace() {
    static const SystemFreeSpace probe;
    return probe;
}

bool BelowFreeSpaceFloor(const FreeSpaceProbe& probe, const std::string& dir, int minFreeMb) {
    if (minFreeMb <= 0) {
        return false;
    }
    const std::optional<std::uint64_t> free = probe.FreeBytes(dir);
    return free && *free < static_cast<std::uint64_t>(minFreeMb) * kBytesPerMegabyte;
}
