#include "frames/FrameFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <vector>

namespace {

// Writes all of `bytes` to `fd` and flushes them to the disk; false on any error.
bool WriteAll(int fd, const std::vector<uchar>& bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return ::fsync(fd) == 0;
}

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

// Moves the finished temporary file to `path`: 0, or the errno of the failure. The temporary
// file is gone afterwards either way.
int Publish(const std::string& temporary, const std::string& path, bool replace) {
    const int error = replace ? (::rename(temporary.c_str(), path.c_str()) == 0 ? 0 : errno)
                              : PublishWithoutReplacing(temporary, path);
    if (error != 0) {
        ::unlink(temporary.c_str());
    }
    return error;
}

// The permissions a new file gets from the process's umask. Read once, before any thread runs:
// umask can only be read by setting it.
const mode_t kNewFileMode = [] {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}();

}  // namespace

std::string FrameFileName(int number) {
    return "pic_" + std::to_string(number) + ".jpg";
}

std::string FramePath(const std::string& frameDir, int number) {
    return frameDir + FrameFileName(number);
}

int CountFrameFiles(const std::string& frameDir) {
    namespace fs = std::filesystem;
    std::error_code error;
    int count = 0;
    for (fs::directory_iterator it(frameDir.empty() ? "." : frameDir, error), end;
         !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        int number = 0;
        // Exactly the name that number has: no other suffix, no leading zeros.
        if (std::sscanf(name.c_str(), "pic_%d", &number) == 1 && number > kNoFrames &&
            name == FrameFileName(number)) {
            ++count;
        }
    }
    return count;
}

std::string WithTrailingSeparator(std::string directory) {
    if (!directory.empty() && directory.back() != '/') {
        directory += '/';
    }
    return directory;
}

FrameSave SaveFrame(const std::string& path, const cv::Mat& frame, bool replace) {
    std::vector<uchar> bytes;
    try {
        const std::string extension = std::filesystem::path(path).extension().string();
        if (frame.empty() || !cv::imencode(extension.empty() ? ".jpg" : extension, frame, bytes)) {
            return FrameSave::Failed;
        }
    } catch (const cv::Exception&) {
        return FrameSave::Failed;  // the encoder refuses some frames by exception
    }
    if (!replace && ::access(path.c_str(), F_OK) == 0) {
        return FrameSave::AlreadyExists;
    }
    std::string temporary;
    const int fd = CreateTemporaryBeside(path, temporary);
    if (fd < 0) {
        return FrameSave::Failed;
    }
    const bool written = WriteAll(fd, bytes);
    if (::close(fd) != 0 || !written) {
        ::unlink(temporary.c_str());
        return FrameSave::Failed;
    }
    switch (Publish(temporary, path, replace)) {
        case 0:
            return FrameSave::Saved;
        case EEXIST:
            return replace ? FrameSave::Failed : FrameSave::AlreadyExists;
        default:
            return FrameSave::Failed;
    }
}

int CreateTemporaryBeside(const std::string& path, std::string& temporary) {
    // A hidden name in the file's own folder, so the rename never crosses file systems and no
    // frame list takes it for a frame.
    const std::filesystem::path target(path);
    temporary = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd >= 0) {
        ::fchmod(fd, kNewFileMode);
    }
    return fd;
}

std::optional<std::vector<uchar>> ReadFrameBytes(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    // Read straight into the buffer, sized from the file and grown should the file grow.
    struct stat status {};
    const std::size_t expected = ::fstat(fd, &status) == 0 && status.st_size > 0
                                     ? static_cast<std::size_t>(status.st_size)
                                     : 0;
    std::vector<uchar> bytes(expected + 1);
    std::size_t length = 0;
    for (;;) {
        if (length == bytes.size()) {
            bytes.resize(bytes.size() * 2);
        }
        const ssize_t n = ::read(fd, bytes.data() + length, bytes.size() - length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        length += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(length);
    return bytes;
}

bool IsWholeJpeg(const std::vector<uchar>& bytes) {
    const std::size_t n = bytes.size();
    return n >= 4 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[n - 2] == 0xFF &&
           bytes[n - 1] == 0xD9;
}

std::optional<cv::Size> JpegColourSize(const std::vector<uchar>& bytes) {
    if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) {
        return std::nullopt;
    }
    std::size_t at = 2;
    while (at + 4 <= bytes.size()) {
        if (bytes[at] != 0xFF) {
            return std::nullopt;
        }
        const uchar marker = bytes[at + 1];
        if (marker == 0xFF) {  // fill byte before a marker
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length follows
            at += 2;
            continue;
        }
        const std::size_t length = (bytes[at + 2] << 8) | bytes[at + 3];
        // Start of frame: any of C0..CF except DHT (C4), JPG (C8) and DAC (CC).
        const bool startOfFrame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (startOfFrame) {
            if (length < 8 || at + 2 + 8 > bytes.size()) {
                return std::nullopt;
            }
            const uchar* header = bytes.data() + at + 4;  // precision, height, width, components
            const int height = (header[1] << 8) | header[2];
            const int width = (header[3] << 8) | header[4];
            if (header[5] != 3 || width == 0 || height == 0) {
                return std::nullopt;
            }
            return cv::Size(width, height);
        }
        if (marker == 0xDA || marker == 0xD9 || length < 2) {  // scan data before any frame header
            return std::nullopt;
        }
        at += 2 + length;
    }
    return std::nullopt;
}
