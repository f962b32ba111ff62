#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// Files the user keeps are written under a hidden temporary name beside them, flushed to the
// disk and renamed, so that a crash or a full disk never leaves half a file and never destroys
// the earlier one. Every function here is safe to call from any thread.

// The permissions a new file gets from the process's umask.
mode_t NewFileMode();

// Creates an empty file with a hidden name beside `path` (".NAME.XXXXXX") with permissions
// `mode`, for writing `path` under a temporary name and renaming it. Returns the open descriptor
// and fills `temporary` with its path; -1 when it cannot be created.
int CreateTemporaryBeside(const std::string& path, std::string& temporary,
                          mode_t mode = NewFileMode());

// Writes `size` bytes at `data` to `path` under a temporary name and renames it into place: 0, or
// the errno of the failure, when the earlier file (if any) is left exactly as it was.
int WriteFileAtomically(const std::string& path, const void* data, std::size_t size,
                        bool replace = true, mode_t mode = NewFileMode());

// Removes the temporary files left in `dir` by writers that were killed: those whose target
// name `isOurs` accepts, last changed longer than `olderThan` ago. A writer that is still at work
// keeps its file, which is fresh.
void RemoveStaleTemporaries(const std::string& dir, std::chrono::seconds olderThan,
                            const std::function<bool(std::string_view target)>& isOurs);
