#include "serve/ServeCommand.h"

#include <csignal>
#include <ctime>

#include <QCommandLineParser>
#include <QDateTime>
#include <QSysInfo>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "frames/AttemptRecord.h"
#include "notify/HomeAssistant.h"
#include "notify/MqttLink.h"
#include "notify/MqttReporter.h"
#include "platform/Tell.h"
#include "res/Version.h"
#include "serve/FolderStatus.h"
#include "serve/StatusServer.h"
#include "serve/Watcher.h"
#include "settings/Settings.h"

namespace {

constexpr char kDefaultListen[] = "127.0.0.1:8765";
// --listen's value that watches without a page.
constexpr char kNoListen[] = "none";
// How often the folder is looked at again: a new frame is to be told within two seconds.
constexpr int kRefreshSeconds = 1;

// The signals that stop the server, held back from every thread so that only the waits of
// WaitForStop take them; the server's threads, started later, inherit the mask.
sigset_t BlockStopSignals() {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    return stop;
}

// True once SIGTERM or SIGINT came, waiting up to kRefreshSeconds for one.
bool WaitForStop(const sigset_t& stop) {
    const timespec wait{kRefreshSeconds, 0};
    return sigtimedwait(&stop, nullptr, &wait) > 0;
}

// The watcher's MQTT: its link to the broker, and what it publishes there at each look.
struct MqttTelling {
    MqttTelling(MqttConfig config, const HomeAssistantDevice& device)
        : link(std::move(config), [](const std::string& line) { TellLine(line); }),
          reporter(link, device) {}

    MqttLink link;
    MqttReporter reporter;
};

// The broker, topics and Home Assistant device of the settings' MQTT keys, the device named by
// this machine and the profile so that every camera of every machine is one of its own.
MqttConfig MqttConfigOf(const ModeContext& context, HomeAssistantDevice& device) {
    const std::string& profile = ProfileName();
    const std::string host = QSysInfo::machineHostName().toStdString();
    device.nodeId = HomeAssistantNodeId(host, profile);
    device.name = "Vorn " + (profile.empty() ? std::string("camera") : profile) + " on " + host;
    device.version = VORN_VERSION;
    device.prefix = context.mqtt.topic.empty()
                        ? "vorn/" + (profile.empty() ? std::string("default") : profile)
                        : context.mqtt.topic;
    return {context.mqtt.host,   context.mqtt.port, context.mqtt.user, context.mqtt.passwordFile,
            context.mqtt.caFile, device.prefix,     device.nodeId};
}

std::optional<LatestFrame> LatestOf(const FolderStatus& status) {
    const std::optional<ServedFile> latest = status.LatestFrame();
    if (!latest) {
        return std::nullopt;
    }
    return LatestFrame{latest->path, latest->time.toMSecsSinceEpoch()};
}

}  // namespace

QList<QCommandLineOption> ServeOptions() {
    return {
        {"serve",
         "Watches the frame folder (--dir, or AUTO_START_DIR) and serves a read-only status page "
         "of it: its frames, the latest one, free space, the schedule, the videos and its "
         "troubles (stalled, camera, disk, daily, dark), until SIGTERM or SIGINT. Each trouble "
         "raised or resolved is told on standard error and to ON_TROUBLE. Any address but this "
         "machine's own (127.0.0.1, ::1, localhost) needs SERVE_TOKEN in the settings; with it, "
         "every request must carry the token."},
        {"listen",
         QStringLiteral("The address and port --serve listens on (default %1; a port of 0 picks a "
                        "free one): 192.168.1.5:8765, [::1]:8765; none watches without a page.")
             .arg(kDefaultListen),
         "ADDRESS:PORT"},
    };
}

std::string WatcherHelp() {
    return "\nThe watcher (--serve, or --serve --listen none without a page) tells each trouble "
           "once "
           "when it starts and once when it ends:\n"
           "  stalled  no new frame for 3 times the usual interval (at least 2 minutes) while the "
           "schedule is open\n"
           "  camera   the last capture attempt saved no frame (its exit code and message)\n"
           "  disk     free space below twice MIN_FREE_MB, or under ALERT_DAYS_LEFT days left "
           "(default 3)\n"
           "  daily    the last --daily-videos run failed, or a closed day has no video by the "
           "next noon\n"
           "  dark     over half of the last hour's frames nearly black or white while the sun is "
           "up\n"
           "It tells them on standard error, on the page, to ON_TROUBLE (with VORN_EVENT=trouble "
           "or "
           "resolved, VORN_TROUBLE, VORN_MESSAGE, VORN_SINCE; ON_TROUBLE_TIMEOUT, default 30 s) "
           "and, with MQTT_HOST set, to an MQTT broker (MQTT_PORT 1883, MQTT_USER, "
           "MQTT_PASSWORD_FILE readable by its owner alone, MQTT_CA_FILE for TLS, MQTT_TOPIC, "
           "default vorn/PROFILE or vorn/default): PREFIX/availability (online, offline), "
           "PREFIX/state (as /status.json), PREFIX/trouble (a JSON array) and PREFIX/latest (a "
           "JPEG at most 640 pixels wide), all retained, with Home Assistant's MQTT discovery "
           "under homeassistant/: one device per profile and machine.\n";
}

ExitCode RunServe(const ModeContext& context) {
    const QCommandLineParser& parser = context.parser;
    const std::string listen =
        parser.isSet("listen") ? parser.value("listen").toStdString() : kDefaultListen;
    const bool page = listen != kNoListen;
    const std::optional<ListenAddress> address = ParseListenAddress(listen);
    if (page && !address) {
        return TellFailure(
            ExitCode::BadCommandLine,
            "--listen takes ADDRESS:PORT (an IPv4 address, an IPv6 address in brackets or "
            "localhost, and a port from 0 to 65535) or none, not '" +
                listen + "'");
    }
    if (!context.frameDir) {
        return context.TellMissingSettings();
    }
    if (context.badSettings) {
        return TellFailure(ExitCode::BadSetting, *context.badSettings);
    }
    if (context.badMqtt) {
        return TellFailure(ExitCode::BadMqttSetting, *context.badMqtt);
    }
    if (page && !address->loopback && context.serveToken.empty()) {
        return TellFailure(ExitCode::ServeNeedsToken,
                           "--listen " + listen +
                               " is reachable from other machines, so SERVE_TOKEN "
                               "must be set in the settings file " +
                               SettingsFilePath().toStdString() +
                               " (at least 16 characters); without one, serve on 127.0.0.1 only");
    }
    std::unique_ptr<MqttTelling> mqtt;
    if (!context.mqtt.host.empty()) {
        HomeAssistantDevice device;
        MqttConfig config = MqttConfigOf(context, device);
        if (const std::optional<std::string> trouble = MqttConfigTrouble(config)) {
            return TellFailure(ExitCode::BadMqttSetting, *trouble);
        }
        mqtt = std::make_unique<MqttTelling>(std::move(config), device);
    }
    const sigset_t stop = BlockStopSignals();
    FolderStatus status({*context.frameDir, context.schedule, context.dayRules});
    Watcher watcher(status, {*context.frameDir, context.schedule, context.placeGiven,
                             context.minFreeMb, context.alertDaysLeft, context.troubleHook});
    const auto look = [&] {
        const QDateTime now = QDateTime::currentDateTime();
        watcher.Look(now, ReadAttempt(*context.frameDir, AttemptKind::Capture),
                     ReadAttempt(*context.frameDir, AttemptKind::DailyRun));
        if (mqtt) {
            mqtt->reporter.Report(status.StateJson(now), status.TroublesJson(), LatestOf(status),
                                  now.toMSecsSinceEpoch());
        }
    };
    look();
    StatusServer server(status, context.serveToken);
    if (page) {
        if (const std::optional<std::string> failure = server.Start(*address)) {
            return TellFailure(ExitCode::ServeCannotListen,
                               "cannot listen on " + listen + ": " + *failure);
        }
        std::printf("vorn: serving %s\n", server.Url().c_str());
    } else {
        std::printf("vorn: watching %s\n", context.frameDir->c_str());
    }
    std::fflush(stdout);
    while (!WaitForStop(stop)) {
        look();
    }
    server.Stop();
    return ExitCode::Success;
}
