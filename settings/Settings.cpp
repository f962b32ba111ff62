#include "settings/Settings.h"

#include <QFileInfo>
#include <QLockFile>
#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "frames/FrameFile.h"
#include "platform/Numbers.h"
#include "platform/TextFields.h"
#include "settings/SettingsKey.h"

namespace {

// A GStreamer pipeline can be long; the other values keep the usual limit.
constexpr std::size_t kMaxCamSourceBytes = 4096;
// The count of the last frame number there is.
constexpr int kLargestFrameCount = INT_MAX - kNoFrames;

bool IsFlag(std::string_view text) {
    const std::optional<int> value = ParseWholeInt(text);
    return value == 0 || value == 1;
}

bool IsMainsFrequency(std::string_view text) {
    const std::optional<int> value = ParseWholeInt(text);
    return value == 50 || value == 60;
}

bool IsDailyHours(std::string_view text) {
    return ParseDailyHours(text).has_value();
}

bool IsTimeOfDay(std::string_view text) {
    const std::optional<int> minute = ParseClockTime(text);
    return minute && *minute < 24 * 60;
}

bool IsDegreesWithin(std::string_view text, double limit) {
    const std::optional<double> degrees = ParseWholeNumber(text);
    return degrees && std::abs(*degrees) <= limit;
}

bool IsLatitude(std::string_view text) {
    return IsDegreesWithin(text, 90.0);
}

bool IsLongitude(std::string_view text) {
    return IsDegreesWithin(text, 180.0);
}

bool IsDayCount(std::string_view text) {
    const std::optional<int> value = ParseWholeInt(text);
    return value && *value >= 1;
}

// A hook's command is the user's own text, judged only when it runs; a row with this rule is
// still named when it is too long to read.
bool IsAnyText(std::string_view /*text*/) {
    return true;
}

bool IsHookSeconds(std::string_view text) {
    constexpr int kDay = 24 * 60 * 60;
    const std::optional<int> value = ParseWholeInt(text);
    return value && *value >= 1 && *value <= kDay;
}

// Long enough not to be guessed, and typed the same on a phone as in the file: no blanks, no
// letters outside ASCII.
bool IsServeToken(std::string_view text) {
    constexpr std::size_t kShortestToken = 16;
    return text.size() >= kShortestToken &&
           std::all_of(text.begin(), text.end(), [](char c) { return c > ' ' && c <= '~'; });
}

bool IsWholeFromZero(std::string_view text) {
    const std::optional<int> value = ParseWholeInt(text);
    return value && *value >= 0;
}

// A host name or a numeric address as a resolver takes it: no blanks, no scheme, no path.
bool IsHostName(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-' ||
               c == ':' || c == '_';
    });
}

bool IsPort(std::string_view text) {
    constexpr int kLargestPort = 65535;
    const std::optional<int> value = ParseWholeInt(text);
    return value && *value >= 1 && *value <= kLargestPort;
}

// A topic prefix others subscribe below: no wildcard, no blank, no empty level, and not one of
// the broker's own ($SYS).
bool IsTopicPrefix(std::string_view text) {
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
        return c > ' ' && c != '+' && c != '#' && c != 0x7f;
    });
    return plain && !text.starts_with('$') && !text.starts_with('/') && !text.ends_with('/') &&
           text.find("//") == std::string_view::npos;
}

// One key of the file. `accepts` judges a value's text (blanks around it taken off, never empty),
// and `expected` says what a good one is; keys without one are taken as they are, or missed.
struct KeyRow {
    Setting setting;
    const char* name;
    const char* defaultText;  // what an absent key stands for
    bool firstStart;          // written with its default when the file is created
    std::size_t maxBytes;
    bool (*accepts)(std::string_view text);
    const char* expected;
};

constexpr std::size_t kUsual = SettingsKey::kMaxValueBytes;

constexpr KeyRow kKeys[] = {
    {Setting::AutoStartDir, "AUTO_START_DIR", "./", true, kUsual, nullptr, nullptr},
    {Setting::AutoStartOnOff, "AUTO_START_ON_OFF", "0", true, kUsual, nullptr, nullptr},
    {Setting::AutoStartFrameCount, "AUTO_START_FRAME_COUNT", "0", true, kUsual, nullptr, nullptr},
    {Setting::CamRef, "CAM_REF", "0", true, kUsual, nullptr, nullptr},
    {Setting::ResolutionRef, "RESOLUTION_REF", "1", true, kUsual, nullptr, nullptr},
    {Setting::CamSource, "CAM_SOURCE", "", false, kMaxCamSourceBytes, nullptr, nullptr},
    {Setting::CameraLock, "CAMERA_LOCK", "0", false, kUsual, IsFlag,
     "give 1 to hold the camera's exposure, white balance and focus once it has warmed up, or 0."},
    {Setting::PowerLineHz, "POWER_LINE_HZ", "", false, kUsual, IsMainsFrequency,
     "give 50 or 60, the mains frequency in hertz, or leave it out."},
    {Setting::VideoOutput, "VIDEO_OUTPUT", "", false, kUsual, nullptr, nullptr},
    {Setting::VideoDeflicker, "VIDEO_DEFLICKER", "", false, kUsual, nullptr, nullptr},
    {Setting::VideoDeflickerWindow, "VIDEO_DEFLICKER_WINDOW", "", false, kUsual, nullptr, nullptr},
    {Setting::VideoSkipBad, "VIDEO_SKIP_BAD", "", false, kUsual, nullptr, nullptr},
    {Setting::VideoWidth, "VIDEO_WIDTH", "", false, kUsual, nullptr, nullptr},
    {Setting::VideoLength, "VIDEO_LENGTH", "", false, kUsual, nullptr, nullptr},
    {Setting::VideoByTime, "VIDEO_BY_TIME", "", false, kUsual, nullptr, nullptr},
    {Setting::VideoDay, "VIDEO_DAY", "", false, kUsual, nullptr, nullptr},
    {Setting::VideoFrom, "VIDEO_FROM", "", false, kUsual, nullptr, nullptr},
    {Setting::VideoTo, "VIDEO_TO", "", false, kUsual, nullptr, nullptr},
    {Setting::VideoBetween, "VIDEO_BETWEEN", "", false, kUsual, nullptr, nullptr},
    {Setting::VideoDailyAt, "VIDEO_DAILY_AT", "", false, kUsual, nullptr, nullptr},
    {Setting::VideoTolerance, "VIDEO_TOLERANCE", "", false, kUsual, nullptr, nullptr},
    {Setting::VideoEvery, "VIDEO_EVERY", "", false, kUsual, nullptr, nullptr},
    {Setting::CaptureHours, "CAPTURE_HOURS", "", false, kUsual, IsDailyHours,
     "give a daily range of local time as HH:MM-HH:MM, such as 07:00-19:00 (or 22:00-04:00 across "
     "midnight), or leave it empty for all day."},
    {Setting::CaptureDaylight, "CAPTURE_DAYLIGHT", "0", false, kUsual, IsFlag,
     "give 1 to capture from civil dawn to civil dusk only, or 0."},
    {Setting::Latitude, "LATITUDE", "", false, kUsual, IsLatitude,
     "give decimal degrees from -90 to 90, north positive, such as 51.48."},
    {Setting::Longitude, "LONGITUDE", "", false, kUsual, IsLongitude,
     "give decimal degrees from -180 to 180, east positive, such as -0.0015."},
    {Setting::MinFreeMb, "MIN_FREE_MB", "200", false, kUsual, IsWholeFromZero,
     "give the megabytes to keep free as a whole number, or 0 for no floor."},
    {Setting::LatestFrame, "LATEST_FRAME", "0", false, kUsual, IsFlag,
     "give 1 to keep latest.jpg in the frame folder, or 0."},
    {Setting::DayStartsAt, "DAY_STARTS_AT", "00:00", false, kUsual, IsTimeOfDay,
     "give the local time a day starts at as HH:MM, such as 12:00 for a night's capture, or "
     "00:00."},
    {Setting::KeepFramesDays, "KEEP_FRAMES_DAYS", "", false, kUsual, IsDayCount,
     "give the days of frames to keep as a whole number from 1, or leave it out to keep them "
     "all."},
    {Setting::OnFrame, "ON_FRAME", "", false, kMaxCamSourceBytes, IsAnyText, ""},
    {Setting::OnVideo, "ON_VIDEO", "", false, kMaxCamSourceBytes, IsAnyText, ""},
    {Setting::OnDay, "ON_DAY", "", false, kMaxCamSourceBytes, IsAnyText, ""},
    {Setting::OnFrameTimeout, "ON_FRAME_TIMEOUT", "10", false, kUsual, IsHookSeconds,
     "give the seconds the ON_FRAME hook may run, a whole number from 1 to 86400."},
    {Setting::OnVideoTimeout, "ON_VIDEO_TIMEOUT", "600", false, kUsual, IsHookSeconds,
     "give the seconds the ON_VIDEO and ON_DAY hooks may run, a whole number from 1 to 86400."},
    {Setting::ServeToken, "SERVE_TOKEN", "", false, kUsual, IsServeToken,
     "give at least 16 letters, digits or punctuation marks without blanks, or leave it out to "
     "serve the status page on this machine only."},
    {Setting::OnTrouble, "ON_TROUBLE", "", false, kMaxCamSourceBytes, IsAnyText, ""},
    {Setting::OnTroubleTimeout, "ON_TROUBLE_TIMEOUT", "30", false, kUsual, IsHookSeconds,
     "give the seconds the ON_TROUBLE hook may run, a whole number from 1 to 86400."},
    {Setting::AlertDaysLeft, "ALERT_DAYS_LEFT", "3", false, kUsual, IsWholeFromZero,
     "give the days of free space left below which the disk is a trouble, a whole number from "
     "0 (0 switches it off)."},
    {Setting::MqttHost, "MQTT_HOST", "", false, kUsual, IsHostName,
     "give the broker's host name or address (broker.lan, 192.168.1.5), without a scheme or "
     "port, or leave it out to switch MQTT off."},
    {Setting::MqttPort, "MQTT_PORT", "1883", false, kUsual, IsPort,
     "give the broker's port, a whole number from 1 to 65535."},
    {Setting::MqttUser, "MQTT_USER", "", false, kUsual, IsAnyText, ""},
    {Setting::MqttPasswordFile, "MQTT_PASSWORD_FILE", "", false, kMaxCamSourceBytes, IsAnyText, ""},
    {Setting::MqttCaFile, "MQTT_CA_FILE", "", false, kMaxCamSourceBytes, IsAnyText, ""},
    {Setting::MqttTopic, "MQTT_TOPIC", "", false, kUsual, IsTopicPrefix,
     "give a topic prefix such as vorn/garden: no '+', '#' or blanks, no empty level, not "
     "starting with '$' or '/'."},
};

const KeyRow& RowOf(Setting setting) {
    for (const KeyRow& row : kKeys) {
        if (row.setting == setting) {
            return row;
        }
    }
    std::abort();  // every Setting has its row
}

// The text `texts` holds for `setting`, blanks around it taken off; empty when it is absent,
// blank or too long.
std::string_view GivenText(const SettingTexts& texts, Setting setting) {
    const auto found = texts.find(setting);
    return found == texts.end() || !found->second ? std::string_view() : Trimmed(*found->second);
}

bool IsBad(const std::vector<BadValue>& bad, Setting setting) {
    return std::any_of(bad.begin(), bad.end(),
                       [&](const BadValue& value) { return value.setting == setting; });
}

// The text a judged key is taken as: its own when it is there and good, else its default.
std::string TakenText(const SettingTexts& texts, const std::vector<BadValue>& bad,
                      Setting setting) {
    const std::string_view given = GivenText(texts, setting);
    return given.empty() || IsBad(bad, setting) ? RowOf(setting).defaultText : std::string(given);
}

bool DaylightAsked(const SettingTexts& texts) {
    return ParseWholeInt(GivenText(texts, Setting::CaptureDaylight)) == 1;
}

std::optional<BadValue> BadValueOf(const KeyRow& row, const SettingTexts& texts) {
    const auto found = texts.find(row.setting);
    const bool place = row.setting == Setting::Latitude || row.setting == Setting::Longitude;
    if (found != texts.end() && !found->second) {
        return BadValue{row.setting, std::string(row.name) + " is too long to read (at most " +
                                         std::to_string(row.maxBytes - 1) + " bytes)."};
    }
    const std::string_view text = GivenText(texts, row.setting);
    if (text.empty() && place && DaylightAsked(texts)) {
        return BadValue{row.setting, std::string(row.name) + " is missing: CAPTURE_DAYLIGHT=1 " +
                                         "needs LATITUDE and LONGITUDE (decimal degrees, north " +
                                         "and east positive)."};
    }
    if (text.empty() || row.accepts(text)) {
        return std::nullopt;
    }
    // A secret is never repeated where a journal or a mail may keep it.
    const std::string shown = row.setting == Setting::ServeToken ? "" : "=" + std::string(text);
    return BadValue{row.setting, std::string(row.name) + shown + " is not valid: " + row.expected};
}

std::string InSettingsFile(const std::string& message) {
    return "In the settings file " + SettingsFilePath().toStdString() + ", " + message;
}

// The typed values of the keys that are judged, from their texts.
StoredSettings JudgedSettings(const SettingTexts& texts) {
    StoredSettings settings;
    settings.badValues = BadValuesOf(texts);
    for (const KeyRow& row : kKeys) {
        const auto found = texts.find(row.setting);
        if (row.accepts != nullptr && found != texts.end() &&
            (!found->second || !GivenText(texts, row.setting).empty())) {
            settings.given.push_back(row.setting);
        }
    }
    const auto taken = [&](Setting setting) {
        return TakenText(texts, settings.badValues, setting);
    };
    settings.cameraLock = ParseWholeInt(taken(Setting::CameraLock)) == 1;
    settings.powerLineHz = ParseWholeInt(taken(Setting::PowerLineHz));
    const std::string hours = taken(Setting::CaptureHours);
    settings.schedule = CaptureSchedule(hours.empty() ? std::nullopt : ParseDailyHours(hours),
                                        ParseWholeInt(taken(Setting::CaptureDaylight)) == 1,
                                        ParseWholeNumber(taken(Setting::Latitude)).value_or(0.0),
                                        ParseWholeNumber(taken(Setting::Longitude)).value_or(0.0));
    settings.minFreeMb = ParseWholeInt(taken(Setting::MinFreeMb)).value_or(0);
    settings.latestFrame = ParseWholeInt(taken(Setting::LatestFrame)) == 1;
    settings.dayStartsAt = ParseClockTime(taken(Setting::DayStartsAt)).value_or(0);
    settings.keepFramesDays = ParseWholeInt(taken(Setting::KeepFramesDays));
    settings.onFrame = taken(Setting::OnFrame);
    settings.onVideo = taken(Setting::OnVideo);
    settings.onDay = taken(Setting::OnDay);
    // A timeout left out or refused takes the table's default, which is a whole number.
    settings.onFrameTimeoutSeconds = ParseWholeInt(taken(Setting::OnFrameTimeout)).value_or(0);
    settings.onVideoTimeoutSeconds = ParseWholeInt(taken(Setting::OnVideoTimeout)).value_or(0);
    settings.serveToken = taken(Setting::ServeToken);
    settings.onTrouble = taken(Setting::OnTrouble);
    settings.onTroubleTimeoutSeconds = ParseWholeInt(taken(Setting::OnTroubleTimeout)).value_or(0);
    settings.alertDaysLeft = ParseWholeInt(taken(Setting::AlertDaysLeft)).value_or(0);
    settings.mqttHost = taken(Setting::MqttHost);
    settings.mqttPort = ParseWholeInt(taken(Setting::MqttPort)).value_or(0);
    settings.mqttUser = taken(Setting::MqttUser);
    settings.mqttPasswordFile = taken(Setting::MqttPasswordFile);
    settings.mqttCaFile = taken(Setting::MqttCaFile);
    settings.mqttTopic = taken(Setting::MqttTopic);
    return settings;
}

SettingTexts TextsOf(const SettingsKey& key) {
    SettingTexts texts;
    for (const KeyRow& row : kKeys) {
        if (key.Has(row.name)) {
            texts[row.setting] = key.Query(row.name, row.maxBytes);
        }
    }
    return texts;
}

std::optional<bool> FlagOf(const std::optional<std::string>& text) {
    const std::optional<int> value = text ? ParseWholeInt(*text) : std::nullopt;
    return value == 0 || value == 1 ? std::optional(value == 1) : std::nullopt;
}

}  // namespace

const char* SettingName(Setting setting) {
    return RowOf(setting).name;
}

std::vector<BadValue> BadValuesOf(const SettingTexts& texts) {
    std::vector<BadValue> bad;
    for (const KeyRow& row : kKeys) {
        if (row.accepts == nullptr) {
            continue;
        }
        if (std::optional<BadValue> value = BadValueOf(row, texts)) {
            bad.push_back(std::move(*value));
        }
    }
    return bad;
}

int ResolutionCodeFor(int resolutionRef) {
    static constexpr std::array<int, 5> kCodes = {320240, 640480, 960720, 1024768, 16001200};
    if (resolutionRef >= 0 && resolutionRef < static_cast<int>(kCodes.size())) {
        return kCodes[resolutionRef];
    }
    return resolutionRef;
}

std::string StoredSettings::MissingValues(std::span<const Setting> among) const {
    const std::pair<bool, Setting> values[] = {
        {frameDir.has_value(), Setting::AutoStartDir},
        {autoStart.has_value(), Setting::AutoStartOnOff},
        {frameCount.has_value(), Setting::AutoStartFrameCount},
        {cameraIndex.has_value(), Setting::CamRef},
        {resolution.has_value(), Setting::ResolutionRef},
        {camSource.has_value(), Setting::CamSource},
    };
    std::string missing;
    for (const auto& [present, setting] : values) {
        const bool asked =
            among.empty() || std::find(among.begin(), among.end(), setting) != among.end();
        if (!present && asked) {
            missing += (missing.empty() ? "" : ", ") + std::string(SettingName(setting));
        }
    }
    return missing;
}

StoredSettings DefaultSettings() {
    return JudgedSettings({});
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
    for (const KeyRow& row : kKeys) {
        if (row.firstStart) {
            key->SetValue(row.name, row.defaultText);
        }
    }
}

std::optional<StoredSettings> ReadSettings() {
    const auto key = SettingsKey::OpenForReading();
    if (!key) {
        return std::nullopt;
    }
    const SettingTexts texts = TextsOf(*key);
    const auto number = [&](Setting setting) -> std::optional<int> {
        const auto found = texts.find(setting);
        if (found == texts.end() || !found->second) {
            return std::nullopt;
        }
        return ParseInt(*found->second);
    };
    StoredSettings settings = JudgedSettings(texts);
    if (const auto dir = texts.find(Setting::AutoStartDir); dir != texts.end() && dir->second) {
        settings.frameDir = WithTrailingSeparator(*dir->second);
    }
    settings.autoStart = number(Setting::AutoStartOnOff);
    settings.frameCount = number(Setting::AutoStartFrameCount);
    settings.cameraIndex = number(Setting::CamRef);
    if (const auto ref = number(Setting::ResolutionRef)) {
        settings.resolution = ResolutionCodeFor(*ref);
    }
    if (const auto source = texts.find(Setting::CamSource); source != texts.end()) {
        settings.camSource = source->second;
    }
    return settings;
}

std::optional<std::string> BadValuesMessage(const StoredSettings& settings,
                                            std::span<const Setting> among) {
    std::string messages;
    for (const BadValue& bad : settings.badValues) {
        if (among.empty() || std::find(among.begin(), among.end(), bad.setting) != among.end()) {
            messages += (messages.empty() ? "" : " ") + bad.message;
        }
    }
    if (messages.empty()) {
        return std::nullopt;
    }
    return InSettingsFile(messages);
}

std::optional<std::string> NeededValueMessage(const StoredSettings& settings, Setting setting,
                                              const std::string& need) {
    if (std::optional<std::string> bad = BadValuesMessage(settings, std::span(&setting, 1))) {
        return bad;
    }
    if (std::find(settings.given.begin(), settings.given.end(), setting) != settings.given.end()) {
        return {};
    }
    const KeyRow& row = RowOf(setting);
    return InSettingsFile(std::string(row.name) + " is missing: " + need + " needs it; " +
                          row.expected);
}

std::optional<std::string> SettingsTrouble(const std::optional<StoredSettings>& settings,
                                           std::span<const Setting> among) {
    const std::string file = SettingsFilePath().toStdString();
    if (!settings) {
        return "the settings file " + file + " is missing or cannot be read";
    }
    const std::string missing = settings->MissingValues(among);
    if (missing.empty()) {
        return {};
    }
    return "the settings file " + file + " lacks a readable " + missing +
           " (missing, or too long: a value holds at most " + std::to_string(kUsual - 1) +
           " bytes, " + SettingName(Setting::CamSource) + " " +
           std::to_string(kMaxCamSourceBytes - 1) + ")";
}

std::optional<std::string> FrameCountTrouble(int count) {
    if (count >= 0 && count <= kLargestFrameCount) {
        return {};
    }
    return InSettingsFile(std::string(SettingName(Setting::AutoStartFrameCount)) + "=" +
                          std::to_string(count) +
                          " is not valid: give the number of frames taken so far, from 0 to " +
                          std::to_string(kLargestFrameCount) + ".");
}

std::optional<std::string> NextFrameTrouble(int count) {
    if (count != kLargestFrameCount) {
        return FrameCountTrouble(count);
    }
    return InSettingsFile(std::string(SettingName(Setting::AutoStartFrameCount)) + "=" +
                          std::to_string(count) +
                          " counts the last frame number there is: no frame can follow it.");
}

std::vector<std::string> ReadSettingTexts(std::span<const Setting> settings) {
    const std::optional<SettingsKey> key = SettingsKey::OpenForReading();
    const SettingTexts texts = key ? TextsOf(*key) : SettingTexts();
    std::vector<std::string> shown;
    for (const Setting setting : settings) {
        const std::string_view given = GivenText(texts, setting);
        shown.emplace_back(given.empty() ? std::string_view(RowOf(setting).defaultText) : given);
    }
    return shown;
}

bool StoreSettingTexts(const std::vector<std::pair<Setting, std::string>>& texts,
                       std::chrono::milliseconds lockWait) {
    if (texts.empty()) {
        return true;
    }
    SettingsKey::NamedTexts named;
    for (const auto& [setting, text] : texts) {
        named.emplace_back(RowOf(setting).name, text);
    }
    const std::unique_ptr<QLockFile> lock = LockSettingsFile(lockWait);
    return lock && SettingsKey::StoreValues(named);
}

StoredVideoOptions ReadVideoSettings() {
    const std::optional<SettingsKey> key = SettingsKey::OpenForReading();
    if (!key) {
        return {};
    }
    const auto text = [&](Setting setting) { return key->Query(SettingName(setting)); };
    const auto whole = [&](Setting setting) {
        const std::optional<std::string> value = text(setting);
        return value ? ParseWholeInt(*value) : std::nullopt;
    };
    StoredVideoOptions options;
    options.outputName = text(Setting::VideoOutput);
    options.deflicker = FlagOf(text(Setting::VideoDeflicker));
    options.deflickerWindow = whole(Setting::VideoDeflickerWindow);
    options.skipBad = FlagOf(text(Setting::VideoSkipBad));
    options.width = whole(Setting::VideoWidth);
    if (const std::optional<std::string> length = text(Setting::VideoLength)) {
        const std::optional<double> seconds = ParseWholeNumber(*length);
        options.lengthSeconds = seconds && *seconds >= 0 ? seconds : std::nullopt;
    }
    options.byTime = FlagOf(text(Setting::VideoByTime));
    for (std::size_t i = 0; i < options.frameTimes.size(); ++i) {
        options.frameTimes[i] = text(kFrameTimeSettings[i]);
    }
    return options;
}

bool StoreVideoSettings(const StoredVideoOptions& options, std::chrono::milliseconds lockWait) {
    std::vector<std::pair<Setting, std::string>> texts;
    const auto add = [&](Setting setting, const auto& value, auto format) {
        if (value) {
            texts.emplace_back(setting, format(*value));
        }
    };
    const auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
    const auto whole = [](int value) { return std::to_string(value); };
    add(Setting::VideoOutput, options.outputName, [](const std::string& name) { return name; });
    add(Setting::VideoDeflicker, options.deflicker, flag);
    add(Setting::VideoDeflickerWindow, options.deflickerWindow, whole);
    add(Setting::VideoSkipBad, options.skipBad, flag);
    add(Setting::VideoWidth, options.width, whole);
    add(Setting::VideoLength, options.lengthSeconds,
        [](double seconds) { return QString::number(seconds).toStdString(); });
    add(Setting::VideoByTime, options.byTime, flag);
    for (std::size_t i = 0; i < options.frameTimes.size(); ++i) {
        add(kFrameTimeSettings[i], options.frameTimes[i],
            [](const std::string& text) { return text; });
    }
    return StoreSettingTexts(texts, lockWait);
}

bool IsProfileName(std::string_view name) {
    constexpr std::size_t kLongestProfileName = 32;
    const auto allowed = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_';
    };
    return !name.empty() && name.size() <= kLongestProfileName &&
           std::all_of(name.begin(), name.end(), allowed);
}

void UseProfile(const std::string& name) {
    SettingsKey::UseProfile(name);
}

const std::string& ProfileName() {
    return SettingsKey::Profile();
}

std::optional<std::string> MissingProfileTrouble() {
    if (ProfileName().empty() || QFileInfo::exists(SettingsFilePath())) {
        return {};
    }
    return "the profile " + ProfileName() + " has no settings file (" +
           SettingsFilePath().toStdString() + ")";
}

QString SettingsFilePath() {
    return SettingsKey::FilePath();
}

bool SettingsFileWritable() {
    return SettingsKey::IsWritable();
}

std::unique_ptr<QLockFile> LockSettingsFile(std::chrono::milliseconds wait) {
    return SettingsKey::Lock(wait);
}

bool StoreFrameCount(int count) {
    return SettingsKey::StoreValueInPlace(SettingName(Setting::AutoStartFrameCount),
                                          std::to_string(count));
}
