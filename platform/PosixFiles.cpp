#include "platform/PosixFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        Reset(other.Release());
    }
    return *this;
}

int UniqueFd::Release() {
    return std::exchange(m_fd, -1);
}

void UniqueFd::Reset(int fd) {
    if (m_fd >= 0) {
        const int error = errno;
        ::close(m_fd);
        errno = error;
    }
    m_fd = fd;
}

UniqueFd OpenFolder(const std::string& path) {
    return UniqueFd(::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

bool ForEachNameIn(int dirFd, const std::function<void(std::string_view)>& take) {
    // A duplicate, since closedir closes the descriptor it lists; the duplicate shares the
    // position, hence the rewind.
    UniqueFd listed(dirFd < 0 ? -1 : ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0));
    DIR* dir = listed.IsOpen() ? ::fdopendir(listed.Get()) : nullptr;
    if (dir == nullptr) {
        return false;
    }
    listed.Release();
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            take(name);
        }
    }
    ::closedir(dir);
    return true;
}

UniqueFd OpenRegularFile(int dirFd, const char* name, int flags, struct stat& status, mode_t mode) {
    UniqueFd fd(::openat(dirFd, name, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode));
    if (!fd.IsOpen() || ::fstat(fd.Get(), &status) != 0) {
        return {};
    }
    if (!S_ISREG(status.st_mode)) {
        fd.Reset();
        errno = EINVAL;
    }
    return fd;
}

bool IsRegularFileAt(int dirFd, const char* name, struct stat& status) {
    return ::fstatat(dirFd, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode);
}

std::optional<std::size_t> ReadUpTo(int fd, char* data, std::size_t size) {
    std::size_t have = 0;
    while (have < size) {
        const ssize_t got = ::read(fd, data + have, size - have);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        have += static_cast<std::size_t>(got);
    }
    return have;
}

std::int64_t ModifiedMs(const struct stat& status) {
    return static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000 +
           status.st_mtim.tv_nsec / 1'000'000;
}
