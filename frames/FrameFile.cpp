#include "frames/FrameFile.h"

#include <fcntl.h>
#include <stdio.h>
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
    // A hidden name in the frame's own folder, so the rename never crosses file systems and no
    // frame list takes it for a frame.
    const std::filesystem::path target(path);
    std::string temporary =
        (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return FrameSave::Failed;
    }
    ::fchmod(fd, kNewFileMode);
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

cv::Mat ReadFrame(const std::string& path) {
    try {
        return cv::imread(path, cv::IMREAD_COLOR);
    } catch (const cv::Exception&) {
        return {};
    }
}
