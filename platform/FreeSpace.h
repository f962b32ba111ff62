#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The free space of the file system a folder is on, behind an interface that tests replace.
class FreeSpaceProbe {
public:
    virtual ~FreeSpaceProbe() = default;
    // The bytes an unprivileged writer may still use on the file system of `dir` (empty: the
    // current folder); nothing when it cannot be told (the folder is missing, say). Safe to call
    // from any thread.
    virtual std::optional<std::uint64_t> FreeBytes(const std::string& dir) const = 0;
};

// statvfs of the folder: its available blocks times the fragment size.
class SystemFreeSpace final : public FreeSpaceProbe {
public:
    std::optional<std::uint64_t> FreeBytes(const std::string& dir) const override;
};

// The program's probe: one for the whole process.
const FreeSpaceProbe& DefaultFreeSpace();

// True when a floor of `minFreeMb` megabytes is set (above 0) and the file system of `dir` has
// less than that free. A file system whose free space cannot be told is not held back: the save
// itself then tells what is wrong.
bool BelowFreeSpaceFloor(const FreeSpaceProbe& probe, const std::string& dir, int minFreeMb);
