#pragma once

#include <optional>
#include <string>

// The resolution code that a stored RESOLUTION_REF number selects.
int ResolutionCodeFor(int resolutionRef);

// The values of the settings file as the program takes them; each is empty when missing or too
// long. The frame folder has its separator added; the resolution is a code.
struct StoredSettings {
    std::optional<std::string> frameDir;
    std::optional<int> autoStart;
    std::optional<int> frameCount;
    std::optional<int> cameraIndex;
    std::optional<int> resolution;
    std::string camSource;  // optional, empty when absent

    // True when the five values that are always written are there.
    bool Complete() const { return MissingValues().empty(); }
    // The names of those of the five values that are missing or unreadable, comma-separated.
    std::string MissingValues() const;
};

// The settings file's values; nothing when the file is missing or cannot be read.
std::optional<StoredSettings> ReadSettings();
