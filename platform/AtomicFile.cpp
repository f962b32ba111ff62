#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <string_view>

namespace {

// Every temporary name is this marker and mkstemp's six random letters and digits.
constexpr std::string_view kTemporaryMarker = ".vorn-tmp-";
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

// Read once, before any thread runs: umask can only be read by setting it.
const mode_t kNewFileMode = [] {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}();

// Creates an empty file under a fresh temporary name in the folder of `target` and fills
// `temporary` with its path: the descriptor, or -1 (errno tells why). In the target's own folder,
// so that the rename never crosses file systems; hidden, so that no file list takes it for the
// file itself.
int CreateTemporaryBeside(const std::string& target, std::string& temporary, mode_t mode) {
    temporary = (std::filesystem::path(target).parent_path() /
                 (std::string(kTemporaryMarker) + std::string(kRandomLength, 'X')))
                    .string();
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        temporary.clear();
    } else {
        ::fchmod(fd, mode);  // FAT keeps no permissions: nothing to tell
    }
    return fd;
}

bool IsTemporaryName(std::string_view name) {
    if (name.size() != kTemporaryMarker.size() + kRandomLength ||
        !name.starts_with(kTemporaryMarker)) {
        return false;
    }
    const std::string_view random = name.substr(kTemporaryMarker.size());
    return std::all_of(random.begin(), random.end(),
                       [](unsigned char c) { return std::isalnum(c) != 0; });
}

// Writes all of `size` bytes at `data` to `fd`; false (errno tells why) when a write failed.
bool WriteAll(int fd, const void* data, std::size_t size) {
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
    return true;
}

}  // namespace

mode_t NewFileMode() {
    return kNewFileMode;
}

AtomicFile::~AtomicFile() {
    Discard();
}

bool AtomicFile::Create(const std::string& target, mode_t mode) {
    Discard();
    m_target = target;
    m_fd = CreateTemporaryBeside(target, m_temporary, mode);
    return m_fd >= 0;
}

int AtomicFile::CommitAs(const std::string& target, bool replace) {
    if (m_fd < 0) {
        return EBADF;
    }
    // On the disk before it takes the place of an earlier file.
    const bool flushed = ::fsync(m_fd) == 0;
    const int flushError = errno;
    const bool closed = ::close(m_fd) == 0;
    const int closeError = errno;
    m_fd = -1;
    if (!flushed || !closed) {
        Discard();
        return !flushed ? flushError : closeError;
    }
    const int error = PublishTemporary(m_temporary, target, replace);
    m_temporary.clear();
    return error;
}

void AtomicFile::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.empty()) {
        ::unlink(m_temporary.c_str());
        m_temporary.clear();
    }
}

namespace {

// WriteFileAtomically, with the modification time `modified` when it is not null.
int WriteAndCommit(const std::string& path, const void* data, std::size_t size, bool replace,
                   mode_t mode, const timespec* modified) {
    AtomicFile file;
    if (!file.Create(path, mode)) {
        return errno;
    }
    if (!WriteAll(file.Fd(), data, size)) {
        return errno;  // the destructor removes the temporary file
    }
    if (modified != nullptr) {
        const timespec times[2] = {{0, UTIME_OMIT}, *modified};
        if (::futimens(file.Fd(), times) != 0) {
            return errno;
        }
    }
    return file.Commit(replace);
}

}  // namespace

int WriteFileAtomically(const std::string& path, const void* data, std::size_t size, bool replace,
                        mode_t mode) {
    return WriteAndCommit(path, data, size, replace, mode, nullptr);
}

int WriteFileAtomicallyModifiedAt(const std::string& path, const void* data, std::size_t size,
                                  std::int64_t modifiedMs, bool replace) {
    const std::int64_t seconds = modifiedMs / 1000 - (modifiedMs % 1000 < 0);
    const timespec modified{static_cast<std::time_t>(seconds),
                            static_cast<long>((modifiedMs - seconds * 1000) * 1000000)};
    return WriteAndCommit(path, data, size, replace, NewFileMode(), &modified);
}

int LinkAtomically(const std::string& existing, const std::string& path) {
    // A fresh temporary name, which the link then takes.
    std::string temporary;
    const int fd = CreateTemporaryBeside(path, temporary, NewFileMode());
    if (fd < 0) {
        return errno;
    }
    ::close(fd);
    ::unlink(temporary.c_str());
    if (::link(existing.c_str(), temporary.c_str()) != 0) {
        return errno;
    }
    return PublishTemporary(temporary, path, true);
}

void RemoveStaleTemporaries(const std::string& dir, std::chrono::seconds olderThan) {
    namespace fs = std::filesystem;
    const std::time_t before = std::time(nullptr) - olderThan.count();
    std::error_code error;
    for (fs::directory_iterator it(dir.empty() ? "." : dir, error), end; !error && it != end;
         it.increment(error)) {
        struct stat status {};
        if (!IsTemporaryName(it->path().filename().native()) ||
            ::lstat(it->path().c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
            status.st_mtime >= before) {
            continue;
        }
        ::unlink(it->path().c_str());
    }
}
