#include "platform/Digest.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QScopeGuard>
#include <cerrno>
#include <vector>

namespace {

constexpr std::size_t kReadChunk = std::size_t{1} << 20;

std::string Hex(const QByteArray& digest) {
    return digest.toHex().toStdString();
}

}  // namespace

std::string Sha256Hex(const void* data, std::size_t size) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArrayView(static_cast<const char*>(data), static_cast<qsizetype>(size)));
    return Hex(hash.result());
}

std::optional<FileDigest> DigestOfFileIn(int dirFd, const std::string& name) {
    // O_NONBLOCK: a FIFO put in a frame's place is never waited on.
    const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    const auto closing = qScopeGuard([fd] {
        const int error = errno;
        ::close(fd);
        errno = error;
    });
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return std::nullopt;
    }
    if (!S_ISREG(status.st_mode)) {
        errno = EINVAL;
        return std::nullopt;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    std::vector<char> chunk(kReadChunk);
    FileDigest digest;
    for (;;) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        hash.addData(QByteArrayView(chunk.data(), got));
        digest.size += got;
    }
    digest.sha256 = Hex(hash.result());
    return digest;
}
