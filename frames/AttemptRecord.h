#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The outcome of the last attempt of each kind, kept in the frame folder for a process that
// watches the folder without taking part: a small JSON file with a hidden name, which no listing
// of frames, days or videos takes.
//   {"time_ms": 1717300000000, "exit_code": 0, "message": "saved frame pic_10123.jpg"}

enum class AttemptKind {
    Capture,   // a frame taken or not: --take-frame, an auto-start launch, the window's run
    DailyRun,  // a --daily-videos run
};

struct Attempt {
    std::int64_t timeMs = 0;  // when it ended, in milliseconds since 1970-01-01 00:00 UTC
    int exitCode = 0;         // as the exit-code table has it; 0 for success
    std::string message;      // the one line a person reads, without "vorn: "
};

// The record's file name in the frame folder: ".vorn-capture.json", ".vorn-daily.json".
const char* AttemptFileName(AttemptKind kind);

// Replaces the record of `kind` in `frameDir` (empty: the current folder) in one step. A record
// that cannot be written changes nothing else: the first such trouble of the process is told on
// standard error, the others are not (the frames are what matter, and a failing folder would
// otherwise tell at every frame).
void RecordAttempt(const std::string& frameDir, AttemptKind kind, const Attempt& attempt);

// The record of `kind` in `frameDir`, or nothing when it is missing, is no regular file (a link
// is not followed), is larger than a record ever is, or is damaged.
std::optional<Attempt> ReadAttempt(const std::string& frameDir, AttemptKind kind);
