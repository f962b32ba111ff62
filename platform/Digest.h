#pragma once

#include <cstddef>
#include <optional>
#include <string>

// SHA-256 digests of what the program keeps proof of: a frame's bytes, a video file. Written as
// sha256sum writes them (64 lowercase hex digits), so that a user can check them by hand. Safe to
// call from any thread.

std::string Sha256Hex(const void* data, std::size_t size);

// A file's size and digest, as read in one pass.
struct FileDigest {
    long long size = 0;
    std::string sha256;

    bool operator==(const FileDigest&) const = default;
};

// The size and digest of the regular file `name` in the folder open as `dirFd`, never following a
// link; nothing (errno tells why) when it is missing, a link, not a regular file, or unreadable.
std::optional<FileDigest> DigestOfFileIn(int dirFd, const std::string& name);
