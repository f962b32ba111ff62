#include "app/Modes.h"

#include <QCommandLineParser>
#include <algorithm>
#include <optional>
#include <string>

#include "daily/DailyVideos.h"
#include "frames/FrameFile.h"
#include "pictures/PicturesCommand.h"
#include "platform/Clock.h"
#include "platform/Numbers.h"
#include "serve/ServeCommand.h"
#include "session/AutoStart.h"
#include "session/HookSettings.h"
#include "session/SeasonSettings.h"
#include "video/MakeVideoCommand.h"

namespace {

constexpr int kDefaultScheduleDays = 7;

// The options of --make-video that shape only a video; the pictures take the others.
const QStringList kVideoOnlyOptions = {"make-video",       "fps",   "compressor", "output",
                                       "skip-bad",         "width", "length",     "deflicker",
                                       "deflicker-window", "list"};

// The options of `options` whose first name is among `names`, in the order of `options`.
QList<QCommandLineOption> Named(const QList<QCommandLineOption>& options, const QStringList& names,
                                bool among = true) {
    QList<QCommandLineOption> chosen;
    std::copy_if(options.begin(), options.end(), std::back_inserter(chosen),
                 [&](const QCommandLineOption& option) {
                     return names.contains(option.names().constFirst()) == among;
                 });
    return chosen;
}

QList<QCommandLineOption> ScheduleOptions() {
    return {{"schedule",
             "Print the days of the capture schedule that the settings give (CAPTURE_HOURS, "
             "CAPTURE_DAYLIGHT, LATITUDE, LONGITUDE), one line a day in local time, from today, "
             "and exit."},
            {"days",
             QStringLiteral("The days --schedule prints (1 to %1; 7 when left out).")
                 .arg(kMaxScheduleDays),
             "N"}};
}

ExitCode RunSchedule(const ModeContext& context) {
    // CommandLine::Parse has refused any other value.
    const std::optional<int> days = ParseWholeInt(context.parser.value("days").toStdString());
    return RunSchedulePlan(context, days.value_or(kDefaultScheduleDays));
}

// The frame counts as the file holds them are the take-frame run's own, read under the lock it
// counts with: it reads and judges the file itself.
ExitCode TakeFrame(const ModeContext&) {
    return RunTakeFrame();
}

std::vector<Mode> MakeModes() {
    const QList<QCommandLineOption> video = MakeVideoOptions();
    const QList<QCommandLineOption> choosing = Named(video, kVideoOnlyOptions, false);
    const QList<QCommandLineOption> pictures = PicturesOptions();
    const std::vector<Setting> pictureKeys = {Setting::AutoStartDir, Setting::DayStartsAt};
    const auto picture = [&](const QStringList& own) {
        return Mode{LaunchMode::Pictures, Named(pictures, own) + choosing, pictureKeys,
                    RunPicturesCommand};
    };
    return {
        {LaunchMode::TakeFrame,
         {{"take-frame",
           "Take one frame after the camera's warm-up, save it as the next numbered frame, count "
           "it in the settings and exit, whatever AUTO_START_ON_OFF says."}},
         {},
         TakeFrame},
        {LaunchMode::Schedule, ScheduleOptions(),
         std::vector<Setting>(std::begin(kSaveConditionSettings), std::end(kSaveConditionSettings)),
         RunSchedule},
        // Both read LONGITUDE too, for solar noon alone.
        {LaunchMode::MakeVideo,
         video,
         {Setting::AutoStartDir, Setting::AutoStartFrameCount, Setting::DayStartsAt,
          Setting::OnVideo, Setting::OnVideoTimeout},
         RunMakeVideoCommand},
        // A bad one would put frames on the wrong day or delete what the user meant to keep.
        {LaunchMode::DailyVideos,
         QList<QCommandLineOption>{DailyVideosOption()} + Named(video, {"dir", "list"}),
         {Setting::AutoStartDir, Setting::DayStartsAt, Setting::KeepFramesDays, Setting::OnVideo,
          Setting::OnDay, Setting::OnVideoTimeout},
         RunDailyVideos},
        // The schedule and day rules the page shows, its token, and how the watcher tells.
        {LaunchMode::Serve,
         ServeOptions() + Named(video, {"dir"}),
         {Setting::AutoStartDir, Setting::CaptureHours, Setting::CaptureDaylight, Setting::Latitude,
          Setting::Longitude, Setting::DayStartsAt, Setting::ServeToken, Setting::MinFreeMb,
          Setting::OnTrouble, Setting::OnTroubleTimeout, Setting::AlertDaysLeft, Setting::MqttHost,
          Setting::MqttPort, Setting::MqttUser, Setting::MqttPasswordFile, Setting::MqttCaFile,
          Setting::MqttTopic},
         RunServe},
        picture({"keogram"}),
        picture({"startrails"}),
        picture({"contact-sheet", "columns", "tiles"}),
    };
}

bool Reads(const Mode& mode, Setting setting) {
    return std::find(mode.keys.begin(), mode.keys.end(), setting) != mode.keys.end();
}

// Why the file gives no folder or count where `mode` needs one: the keys it needs alone, and a
// count that is not valid; `context` drops such a count.
std::optional<std::string> MissingValues(const Mode& mode,
                                         const std::optional<StoredSettings>& stored, bool dirGiven,
                                         ModeContext& context) {
    std::vector<Setting> needed;
    if (!dirGiven && Reads(mode, Setting::AutoStartDir)) {
        needed.push_back(Setting::AutoStartDir);
    }
    if (Reads(mode, Setting::AutoStartFrameCount)) {
        needed.push_back(Setting::AutoStartFrameCount);
    }
    std::optional<std::string> missing;
    if (!needed.empty()) {
        missing = SettingsTrouble(stored, needed);
    }
    if (context.frameCount) {
        if (const std::optional<std::string> trouble = FrameCountTrouble(*context.frameCount)) {
            context.frameCount.reset();
            missing = missing ? *missing + "; " + *trouble : *trouble;
        }
    }
    return missing;
}

// The messages of the bad values among the mode's keys: MQTT's apart, as they end a mode with a
// code of their own. With no keys of its own a mode judges none: an empty list would judge them
// all.
void JudgeModeKeys(const Mode& mode, const StoredSettings& settings, ModeContext& context) {
    std::vector<Setting> mqtt;
    std::vector<Setting> others;
    for (const Setting setting : mode.keys) {
        const bool isMqtt = std::ranges::find(kMqttSettings, setting) != std::end(kMqttSettings);
        (isMqtt ? mqtt : others).push_back(setting);
    }
    if (!others.empty()) {
        context.badSettings = BadValuesMessage(settings, others);
    }
    if (!mqtt.empty()) {
        context.badMqtt = BadValuesMessage(settings, mqtt);
    }
}

}  // namespace

QStringList Mode::OptionNames() const {
    QStringList names;
    for (const QCommandLineOption& option : options) {
        names += option.names();
    }
    return names;
}

std::span<const Mode> Modes() {
    static const std::vector<Mode> modes = MakeModes();
    return modes;
}

QList<QCommandLineOption> OptionsOfEveryMode() {
    return {{{"h", "help"}, "Show this help and exit."},
            {{"v", "version"}, "Show the version and exit."},
            {"profile",
             "Use the settings of the profile NAME, Vorn-NAME.conf beside Vorn.conf, with every "
             "mode: one profile for each camera. NAME is 1 to 32 letters, digits, '-' or '_'.",
             "NAME"}};
}

ModeContext BuildContext(const Mode& mode, const QCommandLineParser& parser, const Clock& clock) {
    const std::optional<StoredSettings> stored = ReadSettings();
    const StoredSettings settings = stored.value_or(DefaultSettings());
    const bool dirGiven = mode.OptionNames().contains("dir") && parser.isSet("dir");
    ModeContext context{parser};
    context.frameDir =
        dirGiven ? WithTrailingSeparator(parser.value("dir").toStdString()) : settings.frameDir;
    if (Reads(mode, Setting::AutoStartFrameCount)) {
        context.frameCount = settings.frameCount;
    }
    context.missing = MissingValues(mode, stored, dirGiven, context);
    JudgeModeKeys(mode, settings, context);
    context.longitudeTrouble =
        NeededValueMessage(settings, Setting::Longitude, "--daily-at solar-noon");
    context.now = QDateTime::fromMSecsSinceEpoch(clock.WallMs());
    context.dayRules = DayRulesFrom(settings);
    context.today = ProjectToday(context.dayRules, context.now);
    context.schedule = settings.schedule;
    context.keepFramesDays = settings.keepFramesDays;
    context.videoHook = HookFromSettings(settings, HookEvent::Video);
    context.dayHook = HookFromSettings(settings, HookEvent::Day);
    context.serveToken = settings.serveToken;
    context.troubleHook = HookFromSettings(settings, HookEvent::Trouble);
    context.minFreeMb = settings.minFreeMb;
    context.alertDaysLeft = settings.alertDaysLeft;
    context.placeGiven =
        std::ranges::find(settings.given, Setting::Latitude) != settings.given.end() &&
        std::ranges::find(settings.given, Setting::Longitude) != settings.given.end();
    context.mqtt = {settings.mqttHost,         settings.mqttPort,   settings.mqttUser,
                    settings.mqttPasswordFile, settings.mqttCaFile, settings.mqttTopic};
    return context;
}
