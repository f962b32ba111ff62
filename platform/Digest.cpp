#include "platform/Digest.h"

#include <fcntl.h>

#include <QCryptographicHash>
#include <vector>

#include "platform/PosixFiles.h"

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
    // A FIFO put in a frame's place is refused, never waited on.
    struct stat status {};
    const UniqueFd fd = OpenRegularFile(dirFd, name.c_str(), O_RDONLY, status);
    if (!fd.IsOpen()) {
        return std::nullopt;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    std::vector<char> chunk(kReadChunk);
    FileDigest digest;
    for (;;) {
        const std::optional<std::size_t> got = ReadUpTo(fd.Get(), chunk.data(), chunk.size());
        if (!got) {
            return std::nullopt;
        }
        hash.addData(QByteArrayView(chunk.data(), static_cast<qsizetype>(*got)));
        digest.size += *got;
        if (*got < chunk.size()) {
            break;
        }
    }
    digest.sha256 = Hex(hash.result());
    return digest;
}
