#include "settings/Settings.h"

#include <QFileInfo>
#include <array>
#include <cstdio>
#include <string_view>

#include "frames/FrameFile.h"
#include "platform/Numbers.h"
#include "settings/SettingsKey.h"
#include "settings/SettingNames.h"

namespace {

// A GStreamer pipeline can be long; the other values keep the usual limit.
constexpr std::size_t kMaxCamSourceBytes = 4096;

// An optional value that must be one of two numbers: nothing when it is absent or empty; a bad
// value gives nothing too, and a message naming it in `bad`.
std::optional<int> ReadChoice(const SettingsKey& key, const char* name, int first, int second,
                              std::vector<std::string>& bad) {
    if (!key.Has(name)) {
        return std::nullopt;
    }
    const std::optional<std::string> text = key.Query(name);
    if (text && text->empty()) {
        return std::nullopt;
    }
    const std::optional<int> value = text ? ParseWholeInt(*text) : std::nullopt;
    if (value == first || value == second) {
        return value;
    }
    bad.push_back(std::string(name) + "=" + text.value_or("(too long to read)") + " in " +
                  SettingsKey::FilePath().toStdString() + " is bad: it must be " +
                  std::to_string(first) + " or " + std::to_string(second) + ", or left out.");
    return std::nullopt;
}

// A value of a season-long capture: its text, empty when absent, or a message naming the key when
// it is there but too long to read.
std::string SeasonValue(const SettingsKey& key, const char* name, std::string& badValue) {
    if (!key.Has(name)) {
        return {};
    }
    if (const auto text = key.Query(name)) {
        return *text;
    }
    if (badValue.empty()) {
        badValue = std::string("the setting ") + name + " is too long to read (at most 254 bytes).";
    }
    return {};
}

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

void ReadSeasonSettings(const SettingsKey& key, StoredSettings& settings) {
    std::string& bad = settings.badValue;
    settings.captureHours = SeasonValue(key, SettingNames::kCaptureHours, bad);
    settings.captureDaylight = SeasonValue(key, SettingNames::kCaptureDaylight, bad);
    settings.latitude = SeasonValue(key, SettingNames::kLatitude, bad);
    settings.longitude = SeasonValue(key, SettingNames::kLongitude, bad);
    const std::string minFree = SeasonValue(key, SettingNames::kMinFreeMb, bad);
    if (!Trimmed(minFree).empty()) {
        const std::optional<int> megabytes = ParseWholeInt(minFree);
        if (megabytes && *megabytes >= 0) {
            settings.minFreeMb = *megabytes;
        } else if (bad.empty()) {
            bad = std::string("the setting ") + SettingNames::kMinFreeMb + "=" + minFree +
                  " is not valid: give the megabytes to keep free as a whole number, or 0 for "
                  "no floor.";
        }
    }
    const std::string latestText = SeasonValue(key, SettingNames::kLatestFrame, bad);
    const std::string_view latest = Trimmed(latestText);
    settings.latestFrame = latest == "1";
    if (!latest.empty() && latest != "0" && latest != "1" && bad.empty()) {
        bad = std::string("the setting ") + SettingNames::kLatestFrame + "=" + std::string(latest) +
              " is not valid: give 1 to keep latest.jpg in the frame folder, or 0.";
    }
}

}  // namespace

int ResolutionCodeFor(int resolutionRef) {
    static constexpr std::array<int, 5> kCodes = {320240, 640480, 960720, 1024768, 16001200};
    if (resolutionRef >= 0 && resolutionRef < static_cast<int>(kCodes.size())) {
        return kCodes[resolutionRef];
    }
    return resolutionRef;
}

void CreateDefaultSettings() {
    // A file that exists but cannot be read keeps what the user has in it.
    if (SettingsKey::OpenForReading() || QFileInfo::exists(SettingsKey::FilePath())) {
        return;
    }
    auto key = SettingsKey::OpenForWriting();
    if (!key) {
        return;
    }
    key->SetValue(SettingNames::kAutoStartOnOff, "0");
    key->SetValue(SettingNames::kAutoStartFrameCount, "0");
    key->SetValue(SettingNames::kCamRef, "0");
    key->SetValue(SettingNames::kResolutionRef, "1");
    key->SetValue(SettingNames::kAutoStartDir, "./");
}

std::string StoredSettings::MissingValues() const {
    const std::pair<bool, const char*> values[] = {
        {frameDir.has_value(), SettingNames::kAutoStartDir},
        {autoStart.has_value(), SettingNames::kAutoStartOnOff},
        {frameCount.has_value(), SettingNames::kAutoStartFrameCount},
        {cameraIndex.has_value(), SettingNames::kCamRef},
        {resolution.has_value(), SettingNames::kResolutionRef},
        {camSource.has_value(), SettingNames::kCamSource},
    };
    std::string missing;
    for (const auto& [present, name] : values) {
        if (!present) {
            missing += (missing.empty() ? "" : ", ") + std::string(name);
        }
    }
    return missing;
}

std::optional<StoredSettings> ReadSettings() {
    const auto key = SettingsKey::OpenForReading();
    if (!key) {
        return std::nullopt;
    }
    const auto number = [&](const char* name) -> std::optional<int> {
        if (const auto text = key->Query(name)) {
            return ParseInt(*text);
        }
        return std::nullopt;
    };
    StoredSettings settings;
    if (const auto dir = key->Query(SettingNames::kAutoStartDir)) {
        settings.frameDir = WithTrailingSeparator(*dir);
    }
    settings.autoStart = number(SettingNames::kAutoStartOnOff);
    settings.frameCount = number(SettingNames::kAutoStartFrameCount);
    settings.cameraIndex = number(SettingNames::kCamRef);
    if (const auto ref = number(SettingNames::kResolutionRef)) {
        settings.resolution = ResolutionCodeFor(*ref);
    }
    if (key->Has(SettingNames::kCamSource)) {
        settings.camSource = key->Query(SettingNames::kCamSource, kMaxCamSourceBytes);
    }
    settings.cameraLock =
        ReadChoice(*key, SettingNames::kCameraLock, 0, 1, settings.badValues).value_or(0) == 1;
    settings.powerLineHz = ReadChoice(*key, SettingNames::kPowerLineHz, 50, 60, settings.badValues);
    ReadSeasonSettings(*key, settings);
    return settings;
}

std::string BadValuesMessage(const StoredSettings& settings) {
    std::string message;
    for (const std::string& bad : settings.badValues) {
        message += (message.empty() ? "" : " ") + bad;
    }
    return message;
}

std::string SettingsTrouble(const std::optional<StoredSettings>& settings) {
    const std::string file = SettingsKey::FilePath().toStdString();
    if (!settings) {
        return "the settings file " + file + " is missing or cannot be read";
    }
    const std::string missing = settings->MissingValues();
    if (missing.empty()) {
        return {};
    }
    return "the settings file " + file + " lacks a readable " + missing +
           " (missing, or too long: a value holds at most 254 bytes, " + SettingNames::kCamSource +
           " 4095)";
}
