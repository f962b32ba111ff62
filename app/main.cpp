#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

#include "app/VornApp.h"
#include "video/MakeVideoCommand.h"

namespace {

constexpr int kBadCommandLine = 2;

// The command-line modes (any argument: the window takes none) run on machines without a screen:
// Qt then draws offscreen.
void RunWithoutDisplayIfNone(int argc) {
    if (argc > 1 && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    RunWithoutDisplayIfNone(argc);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vorn"));
    QApplication::setOrganizationName(QStringLiteral("Brimlow"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Vorn makes time-lapse videos with a webcam.\n\n") +
        MakeVideoExitCodesHelp());
    const QCommandLineOption help = parser.addHelpOption();
    AddMakeVideoOptions(parser);
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "vorn: %s\n", qPrintable(parser.errorText()));
        return kBadCommandLine;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet("make-video")) {
        return RunMakeVideoCommand(parser);
    }
    CVornApp theApp;
    theApp.InitInstance();
    return 0;
}
