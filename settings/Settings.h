#pragma once

#include <optional>
#include <string>

// A decimal integer as atoi reads it: leading white space, an optional sign, then digits up to
// the first other character; 0 without digits. Values beyond int saturate.
int ParseInt(const std::string& text);

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
    bool Complete() const {
        return frameDir && autoStart && frameCount && cameraIndex && resolution;
    }
};

// The settings file's values; nothing when the file is missing or cannot be read.
std::optional<StoredSettings> ReadSettings();
