#pragma once

#include <QString>
#include <array>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "schedule/CaptureSchedule.h"

class QLockFile;

// The settings file's values. Each key's name, default, and the rule that judges its text live
// in one table (Settings.cpp): a new key is a row there and a member of the typed values below.
enum class Setting {
    AutoStartDir,
    AutoStartOnOff,
    AutoStartFrameCount,
    CamRef,
    ResolutionRef,
    // A device path, video file, stream URL or GStreamer pipeline instead of a camera index.
    CamSource,
    // The camera lock: exposure, white balance and focus held once the camera has warmed up, and
    // the mains frequency of its anti-flicker filter.
    CameraLock,
    PowerLineHz,
    // The video maker's options, written when the user chooses them in the window.
    VideoOutput,
    VideoDeflicker,
    VideoDeflickerWindow,
    VideoSkipBad,
    VideoWidth,
    VideoLength,
    // The window's choice of frames by time: on or off, and the text of each field.
    VideoByTime,
    VideoDay,
    VideoFrom,
    VideoTo,
    VideoBetween,
    VideoDailyAt,
    VideoTolerance,
    VideoEvery,
    // A capture that runs for a season; each absent key keeps the capture as it was.
    CaptureHours,
    CaptureDaylight,
    Latitude,
    Longitude,
    MinFreeMb,
    LatestFrame,
    // Where a project's day starts when frames are chosen by day: noon for a night's capture.
    DayStartsAt,
    // Days of frames kept once their day has its video; absent keeps every frame.
    KeepFramesDays,
    // The commands run once a frame, a video or a day's work is complete, and how long they may
    // take (ON_VIDEO_TIMEOUT is ON_DAY's too).
    OnFrame,
    OnVideo,
    OnDay,
    OnFrameTimeout,
    OnVideoTimeout,
    // The secret a request to the status page (`vorn --serve`) must carry.
    ServeToken,
    // What the watcher (`vorn --serve`) tells troubles by: the command it runs, its time limit,
    // and the days of free space left at today's pace below which the disk is a trouble.
    OnTrouble,
    OnTroubleTimeout,
    AlertDaysLeft,
    // The MQTT broker the watcher publishes to; MQTT is off without a host.
    MqttHost,
    MqttPort,
    MqttUser,
    MqttPasswordFile,
    MqttCaFile,
    MqttTopic,
};

// The keys the camera lock reads, and those a saved frame's conditions read.
inline constexpr Setting kCameraLockSettings[] = {Setting::CameraLock, Setting::PowerLineHz};
inline constexpr Setting kSaveConditionSettings[] = {
    Setting::CaptureHours, Setting::CaptureDaylight, Setting::Latitude,
    Setting::Longitude,    Setting::MinFreeMb,       Setting::LatestFrame};
// The keys of the MQTT broker: a bad one ends the watcher with an exit code of its own.
inline constexpr Setting kMqttSettings[] = {Setting::MqttHost,   Setting::MqttPort,
                                            Setting::MqttUser,   Setting::MqttPasswordFile,
                                            Setting::MqttCaFile, Setting::MqttTopic};

// The key's name in the file ("CAPTURE_HOURS").
const char* SettingName(Setting setting);

// A value the program does not take, with the one message that tells it ("CAPTURE_HOURS=7-19 is
// not valid: give ..."), the same in the window, the dialogs and every command-line mode.
struct BadValue {
    Setting setting;
    std::string message;

    bool operator==(const BadValue&) const = default;
};

// Values' texts by key, as the file or a dialog holds them; nothing for a value that is there but
// too long to read. A key left out, or with blanks only, is absent.
using SettingTexts = std::map<Setting, std::optional<std::string>>;

// What is wrong with each of `texts`, one BadValue each, in the order of the keys. Keys that are
// not judged (the five always written, CAM_SOURCE, the video options) give none.
std::vector<BadValue> BadValuesOf(const SettingTexts& texts);

// The resolution code that a stored RESOLUTION_REF number selects.
int ResolutionCodeFor(int resolutionRef);

// The values of the settings file as the program takes them. The five always written, and
// CAM_SOURCE, are nothing when missing or too long (the frame folder has its separator added; the
// resolution is a code). A judged value that is bad is not taken: its member keeps the key's
// default and badValues names it.
struct StoredSettings {
    std::optional<std::string> frameDir;
    std::optional<int> autoStart;
    std::optional<int> frameCount;
    std::optional<int> cameraIndex;
    std::optional<int> resolution;
    // Optional: empty when absent, nothing when it is there but too long to read.
    std::optional<std::string> camSource = std::string();

    // CAMERA_LOCK (0 or 1) and POWER_LINE_HZ (50 or 60; nothing leaves the camera's filter alone).
    bool cameraLock = false;
    std::optional<int> powerLineHz;
    // CAPTURE_HOURS, CAPTURE_DAYLIGHT, LATITUDE and LONGITUDE; every minute of every day when
    // absent.
    CaptureSchedule schedule;
    // MIN_FREE_MB: megabytes the frame folder's file system keeps free; 0 switches the floor off.
    int minFreeMb = 0;
    // LATEST_FRAME=1: latest.jpg in the frame folder, replaced after each saved frame.
    bool latestFrame = false;
    // DAY_STARTS_AT: the wall-clock minute a day starts at when frames are chosen by day.
    int dayStartsAt = 0;
    // KEEP_FRAMES_DAYS: the days of frames kept before today; nothing keeps them all.
    std::optional<int> keepFramesDays;
    // ON_FRAME, ON_VIDEO and ON_DAY, empty when absent; their time limits in seconds, whose
    // defaults the key table holds.
    std::string onFrame;
    std::string onVideo;
    std::string onDay;
    int onFrameTimeoutSeconds = 0;
    int onVideoTimeoutSeconds = 0;
    // SERVE_TOKEN: what every request to the status page must carry; empty when absent.
    std::string serveToken;
    // ON_TROUBLE (empty when absent), its time limit, and ALERT_DAYS_LEFT (0 switches it off).
    std::string onTrouble;
    int onTroubleTimeoutSeconds = 0;
    int alertDaysLeft = 0;
    // MQTT_*: empty texts when absent; the port's default is the key table's.
    std::string mqttHost;
    int mqttPort = 0;
    std::string mqttUser;
    std::string mqttPasswordFile;
    std::string mqttCaFile;
    std::string mqttTopic;
    std::vector<BadValue> badValues;
    // The judged keys the file holds a value for, good or bad.
    std::vector<Setting> given;

    // True when the five values that are always written are there, and CAM_SOURCE can be read.
    bool Complete() const { return MissingValues().empty(); }
    // The names of the values that are missing or unreadable, comma-separated; those among `among`
    // alone when it is not empty.
    std::string MissingValues(std::span<const Setting> among = {}) const;
};

// The settings' defaults, as a file that holds none of the optional keys gives them.
StoredSettings DefaultSettings();

// Writes the settings file with its default values when there is none; a file that exists but
// cannot be read keeps what the user has in it.
void CreateDefaultSettings();

// The settings file's values, read afresh from the file on every call; nothing when the file is
// missing or cannot be read.
std::optional<StoredSettings> ReadSettings();

// The messages of the bad values among `among` (all of them when it is empty), after the file's
// name: "In the settings file F, CAMERA_LOCK=2 is not valid: ...". Nothing when there are none.
std::optional<std::string> BadValuesMessage(const StoredSettings& settings,
                                            std::span<const Setting> among = {});

// What keeps `setting` from serving `need` ("--daily-at solar-noon"), after the file's name: its
// value's message when it is bad, or that it is missing; nothing when it is there and good.
std::optional<std::string> NeededValueMessage(const StoredSettings& settings, Setting setting,
                                              const std::string& need);

// What is wrong with the settings file that gave `settings`, naming the file and the values that
// cannot be read (those among `among` alone when it is not empty, as a mode needs them); nothing
// when nothing is.
std::optional<std::string> SettingsTrouble(const std::optional<StoredSettings>& settings,
                                           std::span<const Setting> among = {});

// What is wrong with AUTO_START_FRAME_COUNT=`count`, after the file's name: below 0, or past the
// count of the last frame number there is; nothing when nothing is. The window takes any count.
std::optional<std::string> FrameCountTrouble(int count);
// What keeps a launch from counting one frame more after `count`: FrameCountTrouble, or no frame
// number left after it; nothing when nothing does.
std::optional<std::string> NextFrameTrouble(int count);

// The texts of `settings` as the file holds them, blanks around them taken off; a key's default
// text when it is absent, empty, too long, or the file is missing.
std::vector<std::string> ReadSettingTexts(std::span<const Setting> settings);

// Stores each of `texts` under its key in one rewrite of the file, changing only those lines (and
// adding the ones it lacks), under the lock an unattended launch takes to count its frame, waiting
// up to `lockWait` for it. False when the lock or the write failed, and the file is then as it was.
bool StoreSettingTexts(const std::vector<std::pair<Setting, std::string>>& texts,
                       std::chrono::milliseconds lockWait);

// The video maker's options as the file holds them: each nothing when absent or not of its kind
// (a name; 0 or 1; a whole number; a length of seconds, 0 or more). Whether the video maker can
// use a value is the video maker's own rule.
struct StoredVideoOptions {
    std::optional<std::string> outputName;
    std::optional<bool> deflicker;
    std::optional<int> deflickerWindow;
    std::optional<bool> skipBad;
    std::optional<int> width;
    std::optional<double> lengthSeconds;
    std::optional<bool> byTime;
    // The texts of kFrameTimeSettings, in that order.
    std::array<std::optional<std::string>, 7> frameTimes;
};

// The keys of the frame-time fields, in the order of StoredVideoOptions::frameTimes.
inline constexpr Setting kFrameTimeSettings[] = {
    Setting::VideoDay,     Setting::VideoFrom,      Setting::VideoTo,   Setting::VideoBetween,
    Setting::VideoDailyAt, Setting::VideoTolerance, Setting::VideoEvery};

StoredVideoOptions ReadVideoSettings();
// Stores the options that `options` holds, each under its key, as StoreSettingTexts does.
bool StoreVideoSettings(const StoredVideoOptions& options, std::chrono::milliseconds lockWait);

// Whether `name` can name a profile: 1 to 32 letters, digits, '-' or '_'.
bool IsProfileName(std::string_view name);
// Makes the settings file the profile `name`'s, Vorn-NAME.conf beside Vorn.conf; empty keeps
// Vorn.conf. Called once at start-up, before anything reads the settings.
void UseProfile(const std::string& name);
// The profile given at start-up, or empty.
const std::string& ProfileName();
// What keeps the profile in use from running: the words that name the profile and its missing
// file; nothing without a profile, or when its file is there.
std::optional<std::string> MissingProfileTrouble();

// The settings file's path, as messages name it.
QString SettingsFilePath();
// True when the file exists, is not marked read-only and can be replaced in its folder.
bool SettingsFileWritable();
// Takes the lock that makes a read, decide and write of the file one step among processes,
// waiting up to `wait`; null when it could not be taken, and errno tells why (EWOULDBLOCK while
// another holds it).
std::unique_ptr<QLockFile> LockSettingsFile(std::chrono::milliseconds wait);
// Stores AUTO_START_FRAME_COUNT in place, every other byte of the file kept; false (errno tells
// why) when the file or the value is missing, or the file could not be written.
bool StoreFrameCount(int count);
