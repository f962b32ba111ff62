#pragma once

#include <cstdint>
#include <string>

// The last capture attempt and the last daily run in a frame folder, as the watcher reads them.

enum class AttemptKind { Capture, DailyRun };

struct Attempt {
    std::int64_t timeMs = 0;
    int exitCode = 0;
    std::string message;
};
