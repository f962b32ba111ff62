#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <opencv2/core/utils/logger.hpp>

#include "app/CommandLine.h"
#include "app/VornApp.h"
#include "app/VornDlg.h"
#include "capture/ThreadCount.h"
#include "platform/Clock.h"
#include "platform/Tell.h"
#include "platform/TimeZone.h"
#include "res/Strings.h"
#include "res/Version.h"
#include "session/AutoStart.h"
#include "settings/Settings.h"
#include "video/VideoWriter.h"
#include "widgets/Display.h"
#include "widgets/MessageBox.h"

namespace {

// A box of an unattended launch closes itself after this long, so that nobody is waited for.
constexpr std::chrono::seconds kUnattendedBoxLimit{60};

void Print(std::FILE* stream, const QString& text) {
    std::fputs(qUtf8Printable(text), stream);
}

// Ends a launch that took a frame, or one whose capture run a hung source still holds. Such a
// source holds a thread of its own that nothing can stop, so the process ends without waiting
// for it or tearing down what it may yet touch.
[[noreturn]] void EndUnattended(int exitCode) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(exitCode);
}

// Qt's notes (a missing runtime folder, a platform's limits) and OpenCV's and FFmpeg's logs would
// stand among the program's own lines, which cron mails and journals keep: only Qt's critical
// messages pass, as the program's.
void KeepStandardErrorForOwnLines() {
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg) {
            TellLine(text.toStdString());
        }
    });
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    KeepFfmpegLogOffStandardError();
}

// A launch with a profile whose settings file is missing ends before it starts: its camera, folder
// and count are that file's, and no other file may stand in for them.
std::optional<ExitCode> RefuseMissingProfile() {
    const std::optional<std::string> trouble = MissingProfileTrouble();
    if (!trouble) {
        return std::nullopt;
    }
    return TellFailure(ExitCode::SettingsMissing, *trouble + ".");
}

// The launches that open no window: help, version, a bad command line, each mode of the table,
// --take-frame where there is no display.
ExitCode RunWithoutWindow(LaunchMode mode, const CommandLine& commandLine) {
    if (const Mode* asked = commandLine.Asked()) {
        if (const auto refused = RefuseMissingProfile()) {
            return *refused;
        }
        const ExitCode code =
            asked->run(BuildContext(*asked, commandLine.Parser(), DefaultClock()));
        if (mode == LaunchMode::TakeFrame) {
            EndUnattended(ToInt(code));
        }
        return code;
    }
    if (mode == LaunchMode::Help) {
        Print(stdout, commandLine.Usage());
    } else if (mode == LaunchMode::Version) {
        Print(stdout, CommandLine::VersionText() + u'\n');
    } else if (mode == LaunchMode::BadCommandLine) {
        TellLine(commandLine.Error().toStdString());
        Print(stderr, u'\n' + commandLine.Usage());
        return ExitCode::BadCommandLine;
    }
    return ExitCode::Success;
}

// Opens the main window (or runs its unattended frame) once the application exists; its exit
// code. `offscreen`: no display can show it.
int OpenTheWindow(bool offscreen, bool unattended) {
    if (offscreen && !unattended) {
        // The window would run where nobody can see or close it.
        return ToInt(TellFailure(ExitCode::NoDisplay,
                                 "no display (neither DISPLAY nor WAYLAND_DISPLAY is set), so the "
                                 "window cannot open; --take-frame takes a frame without one."));
    }
    // Without its modules the window could neither take frames nor make videos.
    if (const std::optional<std::string> broken = InstallationTrouble()) {
        TellUnattended(QString::fromStdString(*broken));
        return ToInt(ExitCode::BrokenInstallation);
    }
    if (!OfferToCreateProfile()) {
        return ToInt(*RefuseMissingProfile());
    }
    CVornApp theApp;
    theApp.InitInstance();
    // The window ends with 0, however it was closed; an unattended launch with its run's code.
    const int exitCode = unattended ? theApp.m_exitCode : 0;
    if (unattended || CaptureThreadsAlive() > 0) {
        EndUnattended(exitCode);
    }
    return exitCode;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationName));
    QCoreApplication::setOrganizationName(QString::fromLatin1(kOrganizationName));
    QCoreApplication::setApplicationVersion(QStringLiteral(VORN_VERSION));
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(VORN_DESKTOP_ID));
    if (const std::optional<std::string> trouble = TimeZoneTrouble()) {
        TellLine(*trouble);
    }
    const bool offscreen = UseOffscreenWithoutDisplay();
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    CommandLine commandLine;
    LaunchMode mode = commandLine.Parse(arguments);
    UseProfile(commandLine.Profile());
    // Qt's own options (-platform, -style) are not ours: the application takes them off, and the
    // rest is read again once it exists.
    const bool mayHoldQtOptions = mode == LaunchMode::BadCommandLine;
    if (!mayHoldQtOptions && mode != LaunchMode::Window &&
        (mode != LaunchMode::TakeFrame || offscreen)) {
        // No window can open: no GUI to start, and only the program's own lines.
        KeepStandardErrorForOwnLines();
        const QCoreApplication app(argc, argv);
        return ToInt(RunWithoutWindow(mode, commandLine));
    }
    const auto settings = ReadSettings();
    const bool unattended =
        mode == LaunchMode::TakeFrame || (settings && settings->autoStart.value_or(0) > 0);
    if (unattended || mayHoldQtOptions) {
        KeepStandardErrorForOwnLines();  // before the application, which has its own notes
    }
    QApplication app(argc, argv);
    // An unattended launch tells its messages in a box too when someone may see it.
    SetUnattendedBox([](const QString& text) {
        if (WindowsAreSeen()) {
            ShowMessageBox(text, kUnattendedBoxLimit);
        }
    });
    CommandLine withoutQtOptions;
    if (mayHoldQtOptions) {
        mode = withoutQtOptions.Parse(QApplication::arguments());
        UseProfile(withoutQtOptions.Profile());
        if (mode != LaunchMode::Window && mode != LaunchMode::TakeFrame) {
            return ToInt(RunWithoutWindow(mode, withoutQtOptions));
        }
        if (mode == LaunchMode::Window && !unattended) {
            qInstallMessageHandler(nullptr);  // the window's run keeps Qt's own messages
        }
    }
    if (mode == LaunchMode::TakeFrame) {
        KeepStandardErrorForOwnLines();
        const std::optional<ExitCode> refused = RefuseMissingProfile();
        EndUnattended(ToInt(refused ? *refused : RunTakeFrame()));
    }
    return OpenTheWindow(offscreen, unattended);
}
