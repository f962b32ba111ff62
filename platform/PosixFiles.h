#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The few POSIX file calls the program makes in many places, each written once: an owned file
// descriptor, a folder's names, a regular file opened without following a link, a file's time.

// Owns an open file descriptor and closes it when it goes; -1 is none. Closing keeps errno, so a
// failure's errno survives the cleanup after it.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    // Gives the descriptor up without closing it.
    int Release();
    // Closes the descriptor held, if any, and holds `fd`.
    void Reset(int fd = -1);

private:
    int m_fd = -1;
};

// The folder `path` (empty: the current folder) open for reading its entries and opening files
// in it by name; closed when it cannot be (errno tells why).
UniqueFd OpenFolder(const std::string& path);

// Calls `take` with the name of every entry of the folder open as `dirFd` but "." and "..", from
// its start whatever was read of it before: false (errno tells why) when it cannot be listed.
bool ForEachNameIn(int dirFd, const std::function<void(std::string_view)>& take);

// Opens `name` in the folder `dirFd` (AT_FDCWD for a path) with `flags` (O_RDONLY, O_WRONLY |
// O_CREAT, ...; `mode` for a new file), never through a link and never waiting on a FIFO, and
// keeps it only when it is a regular file; its status in `status`. Closed (errno tells why, EINVAL
// for a folder, device or FIFO) otherwise.
UniqueFd OpenRegularFile(int dirFd, const char* name, int flags, struct stat& status,
                         mode_t mode = 0);

// The status of `name` in the folder `dirFd` when it is a regular file itself, not a link to one;
// false for anything else.
bool IsRegularFileAt(int dirFd, const char* name, struct stat& status);

// Reads from `fd` into `data` until `size` bytes are there or the file ends, an interrupted read
// tried again; the bytes read, or nothing (errno tells why) when a read failed.
std::optional<std::size_t> ReadUpTo(int fd, char* data, std::size_t size);

// The modification time of a file's `status` in milliseconds since 1970-01-01 00:00 UTC.
std::int64_t ModifiedMs(const struct stat& status);
