#pragma once

#include <optional>
#include <string>
#include <vector>

// The free space the frame folder's file system keeps when MIN_FREE_MB is absent, in megabytes.
inline constexpr int kDefaultMinFreeMb = 200;

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
    // Optional: empty when absent, nothing when it is there but too long to read.
    std::optional<std::string> camSource = std::string();

    // The camera lock, optional: CAMERA_LOCK (0 or 1) and POWER_LINE_HZ (50 or 60; nothing leaves
    // the camera's filter alone), absent or empty when not wanted. A bad value is not taken: it
    // keeps the default here and is named in badValues, one message for each.
    bool cameraLock = false;
    std::optional<int> powerLineHz;
    std::vector<std::string> badValues;
    // A capture that runs for a season. Each key is optional: without them the capture is as it
    // always was. CAPTURE_HOURS, CAPTURE_DAYLIGHT, LATITUDE and LONGITUDE as the file holds them,
    // empty when absent: the schedule reads them.
    std::string captureHours;
    std::string captureDaylight;
    std::string latitude;
    std::string longitude;
    // MIN_FREE_MB: megabytes the frame folder's file system keeps free; 0 switches the floor off.
    int minFreeMb = kDefaultMinFreeMb;
    // LATEST_FRAME=1: latest.jpg in the frame folder, replaced after each saved frame.
    bool latestFrame = false;
    // What is wrong with MIN_FREE_MB or LATEST_FRAME, naming the key; empty when nothing is.
    std::string badValue;

    // True when the five values that are always written are there, and CAM_SOURCE can be read.
    bool Complete() const { return MissingValues().empty(); }
    // The names of the values that are missing or unreadable, comma-separated.
    std::string MissingValues() const;
};

// Writes the settings file with its default values when there is none; a file that exists but
// cannot be read keeps what the user has in it.
void CreateDefaultSettings();

// The settings file's values, read afresh from the file on every call; nothing when the file is
// missing or cannot be read.
std::optional<StoredSettings> ReadSettings();

// The messages of `settings.badValues` as one text; empty when there are none.
std::string BadValuesMessage(const StoredSettings& settings);

// What is wrong with the settings file that gave `settings`, naming the file and the values that
// cannot be read; empty when nothing is.
std::string SettingsTrouble(const std::optional<StoredSettings>& settings);
