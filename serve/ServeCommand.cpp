#include "serve/ServeCommand.h"

#include <csignal>
#include <ctime>

#include <QCommandLineParser>
#include <QDateTime>
#include <cstdio>
#include <optional>
#include <string>

#include "serve/FolderStatus.h"
#include "serve/StatusServer.h"
#include "settings/Settings.h"

namespace {

constexpr char kDefaultListen[] = "127.0.0.1:8765";
// How often the folder is looked at again: the page asks every few seconds.
constexpr int kRefreshSeconds = 2;

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

}  // namespace

QList<QCommandLineOption> ServeOptions() {
    return {
        {"serve",
         "Serves a read-only status page of the frame folder (--dir, or AUTO_START_DIR): its "
         "frames, the latest one, free space, the schedule and the videos, until SIGTERM or "
         "SIGINT. Any address but this machine's own (127.0.0.1, ::1, localhost) needs "
         "SERVE_TOKEN in the settings; with it, every request must carry the token."},
        {"listen",
         QStringLiteral("The address and port --serve listens on (default %1; a port of 0 picks a "
                        "free one): 192.168.1.5:8765, [::1]:8765.")
             .arg(kDefaultListen),
         "ADDRESS:PORT"},
    };
}

ExitCode RunServe(const ModeContext& context) {
    const QCommandLineParser& parser = context.parser;
    const std::string listen =
        parser.isSet("listen") ? parser.value("listen").toStdString() : kDefaultListen;
    const std::optional<ListenAddress> address = ParseListenAddress(listen);
    if (!address) {
        return TellFailure(
            ExitCode::BadCommandLine,
            "--listen takes ADDRESS:PORT (an IPv4 address, an IPv6 address in brackets or "
            "localhost, and a port from 0 to 65535), not '" +
                listen + "'");
    }
    if (!context.frameDir) {
        return context.TellMissingSettings();
    }
    if (context.badSettings) {
        return TellFailure(ExitCode::BadSetting, *context.badSettings);
    }
    if (!address->loopback && context.serveToken.empty()) {
        return TellFailure(ExitCode::ServeNeedsToken,
                           "--listen " + listen +
                               " is reachable from other machines, so SERVE_TOKEN "
                               "must be set in the settings file " +
                               SettingsFilePath().toStdString() +
                               " (at least 16 characters); without one, serve on 127.0.0.1 only");
    }
    const sigset_t stop = BlockStopSignals();
    FolderStatus status({*context.frameDir, context.schedule, context.dayRules});
    status.Refresh(QDateTime::currentDateTime());
    StatusServer server(status, context.serveToken);
    if (const std::optional<std::string> failure = server.Start(*address)) {
        return TellFailure(ExitCode::ServeCannotListen,
                           "cannot listen on " + listen + ": " + *failure);
    }
    std::printf("vorn: serving %s\n", server.Url().c_str());
    std::fflush(stdout);
    while (!WaitForStop(stop)) {
        status.Refresh(QDateTime::currentDateTime());
    }
    server.Stop();
    return ExitCode::Success;
}
