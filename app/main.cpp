#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/CommandLine.h"
#include "app/VornApp.h"
#include "capture/ThreadCount.h"
#include "platform/Display.h"
#include "res/Strings.h"
#include "res/Version.h"
#include "session/AutoStart.h"
#include "settings/Settings.h"
#include "video/MakeVideoCommand.h"

namespace {

constexpr int kNoDisplayExitCode = 1;

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

// The settings file's frame folder and count, for --make-video's options left out.
MakeVideoDefaults MakeVideoDefaultsFromSettings() {
    const std::optional<StoredSettings> settings = ReadSettings();
    if (!settings) {
        return {std::nullopt, std::nullopt, SettingsTrouble(settings)};
    }
    return {settings->frameDir, settings->frameCount, SettingsTrouble(settings)};
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication::setApplicationName(QString::fromLatin1(kApplicationName));
    QApplication::setOrganizationName(QString::fromLatin1(kOrganizationName));
    QApplication::setApplicationVersion(QStringLiteral(VORN_VERSION));
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(VORN_DESKTOP_ID));
    const bool offscreen = UseOffscreenWithoutDisplay();
    QApplication app(argc, argv);
    CommandLine commandLine;
    switch (commandLine.Parse(QApplication::arguments())) {
        case LaunchMode::Help:
            Print(stdout, commandLine.Usage());
            return 0;
        case LaunchMode::Version:
            Print(stdout, CommandLine::VersionText() + u'\n');
            return 0;
        case LaunchMode::BadCommandLine:
            Print(stderr,
                  QStringLiteral("vorn: %1\n\n").arg(commandLine.Error()) + commandLine.Usage());
            return static_cast<int>(TakeFrameResult::BadCommandLine);
        case LaunchMode::TakeFrame:
            EndUnattended(RunTakeFrame());
        case LaunchMode::MakeVideo:
            return RunMakeVideoCommand(commandLine.Parser(), MakeVideoDefaultsFromSettings());
        case LaunchMode::Window:
            break;
    }
    const auto settings = ReadSettings();
    const bool unattended = settings && settings->autoStart.value_or(0) > 0;
    if (offscreen && !unattended) {
        // The window would run where nobody can see or close it.
        Print(stderr, QStringLiteral("vorn: no display (neither DISPLAY nor WAYLAND_DISPLAY is "
                                     "set), so the window cannot open; --take-frame takes a "
                                     "frame without one.\n"));
        return kNoDisplayExitCode;
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
