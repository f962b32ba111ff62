#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

// Files the user keeps are written under a hidden temporary name beside them, flushed to the
// disk and renamed, so that a crash or a full disk never leaves half a file and never destroys
// the earlier one. Temporary names carry a marker only this program makes (".vorn-tmp-XXXXXX"),
// short whatever the target's name, so that clearing a killed writer's leftovers never takes a
// file of the user's. Every function here is safe to call from any thread.

// The permissions a new file gets from the process's umask.
mode_t NewFileMode();

// One file written under a temporary name and moved into place by Commit; the destructor removes
// a temporary file that was not committed.
class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the empty temporary file for `target` in its folder, with permissions `mode`, open
    // for writing: false (errno tells why) when it cannot.
    bool Create(const std::string& target, mode_t mode = NewFileMode());
    // The open temporary file, while it is not committed.
    int Fd() const { return m_fd; }
    const std::string& TemporaryPath() const { return m_temporary; }

    // Flushes the file to the disk, closes it and moves it to the target, replacing a file there
    // only when `replace` is true; without replacing, a file system without hard links (FAT on a
    // memory card) still never loses a file that appears meanwhile. 0, or the errno of the
    // failure; the temporary file is gone afterwards either way.
    int Commit(bool replace = true) { return CommitAs(m_target, replace); }
    // Commit to `target`, another name in the same folder.
    int CommitAs(const std::string& target, bool replace = true);

private:
    void Discard();

    std::string m_target;
    std::string m_temporary;  // empty when there is none
    int m_fd = -1;
};

// Writes `size` bytes at `data` to `path` under a temporary name and renames it into place: 0, or
// the errno of the failure, when the earlier file (if any) is left exactly as it was.
int WriteFileAtomically(const std::string& path, const void* data, std::size_t size,
                        bool replace = true, mode_t mode = NewFileMode());

// WriteFileAtomically, with the file's modification time set to `modifiedMs` (milliseconds since
// 1970-01-01 00:00 UTC) before it takes its place, so that it never shows another.
int WriteFileAtomicallyModifiedAt(const std::string& path, const void* data, std::size_t size,
                                  std::int64_t modifiedMs, bool replace = true);

// Makes `path` a hard link to the file `existing`, replacing the file there in one step: 0, or
// the errno of the failure (EPERM where the file system has no hard links), when `path` is as it
// was.
int LinkAtomically(const std::string& existing, const std::string& path);

// Removes the temporary files left in `dir` by writers that were killed, those last changed
// longer than `olderThan` ago; a writer still at work keeps its file, which is fresh. Only names
// AtomicFile makes are cleared, whatever file they were for.
void RemoveStaleTemporaries(const std::string& dir, std::chrono::seconds olderThan);
