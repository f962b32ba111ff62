#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <ctime>
#include <filesystem>

namespace {

// The length of mkstemp's random part.
constexpr std::size_t kRandomLength = 6;

// Moves `temporary` to `path` unless `path` is there: 0, or the errno of the failure (EEXIST
// when it is there). A hard link never replaces and is atomic; a file system without hard links
// (FAT on a memory card) gets a rename that refuses to replace, or, where even that is missing,
// a look first.
int PublishWithoutReplacing(const std::string& temporary, const std::string& path) {
    if (::link(temporary.c_str(), path.c_str()) == 0) {
        ::unlink(temporary.c_str());
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) {
        return errno;
    }
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    if (::access(path.c_str(), F_OK) == 0) {
        return EEXIST;
    }
    return ::rename(temporary.c_str(), path.c_str()) == 0 ? 0 : errno;
}

// Read once, before any thread runs: umask can only be read by setting it.
const mode_t kNewFileMode = [] {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}();

// The target name of a temporary file CreateTemporaryBeside made (".NAME.XXXXXX"), or empty.
std::string_view TargetOfTemporary(std::string_view name) {
    if (name.size() < kRandomLength + 3 || name.front() != '.' ||
        name[name.size() - kRandomLength - 1] != '.') {
        return {};
    }
    const std::string_view random = name.substr(name.size() - kRandomLength);
    if (!std::all_of(random.begin(), random.end(),
                     [](unsigned char c) { return std::isalnum(c) != 0; })) {
        return {};
    }
    return name.substr(1, name.size() - kRandomLength - 2);
}

// Writes all of `size` bytes at `data` to `fd` and flushes them to the disk; false (errno tells
// why) when any write or the flush failed.
bool WriteAllAndSync(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, bytes + written, size - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return ::fsync(fd) == 0;
}

// Moves the finished `temporary` to `path`, replacing a file there only when `replace` is true:
// 0, or the errno of the failure. The temporary file is gone afterwards either way.
int PublishTemporary(const std::string& temporary, const std::string& path, bool replace) {
    const int error = replace ? (::rename(temporary.c_str(), path.c_str()) == 0 ? 0 : errno)
                              : PublishWithoutReplacing(temporary, path);
    if (error != 0) {
        ::unlink(temporary.c_str());
    }
    return error;
}

}  // namespace

mode_t NewFileMode() {
    return kNewFileMode;
}

int CreateTemporaryBeside(const std::string& path, std::string& temporary, mode_t mode) {
    // A hidden name in the file's own folder, so the rename never crosses file systems and no
    // file list takes it for the file itself.
    const std::filesystem::path target(path);
    temporary = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd >= 0) {
        ::fchmod(fd, mode);
    }
    return fd;
}

int WriteFileAtomically(const std::string& path, const void* data, std::size_t size, bool replace,
                        mode_t mode) {
    std::string temporary;
    const int fd = CreateTemporaryBeside(path, temporary, mode);
    if (fd < 0) {
        return errno;
    }
    const bool written = WriteAllAndSync(fd, data, size);
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        const int error = written ? errno : writeError;
        ::unlink(temporary.c_str());
        return error != 0 ? error : EIO;
    }
    return PublishTemporary(temporary, path, replace);
}

void RemoveStaleTemporaries(const std::string& dir, std::chrono::seconds olderThan,
                            const std::function<bool(std::string_view target)>& isOurs) {
    namespace fs = std::filesystem;
    const std::time_t before = std::time(nullptr) - olderThan.count();
    std::error_code error;
    for (fs::directory_iterator it(dir.empty() ? "." : dir, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        const std::string_view target = TargetOfTemporary(name);
        struct stat status {};
        if (target.empty() || !isOurs(target) || ::lstat(it->path().c_str(), &status) != 0 ||
            !S_ISREG(status.st_mode) || status.st_mtime >= before) {
            continue;
        }
        ::unlink(it->path().c_str());
    }
}
