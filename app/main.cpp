#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/VornApp.h"
#include "capture/ThreadCount.h"
#include "res/Version.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vorn"));
    QApplication::setOrganizationName(QStringLiteral("Brimlow"));
    QApplication::setApplicationVersion(QStringLiteral(VORN_VERSION));
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(VORN_DESKTOP_ID));
    CVornApp theApp;
    theApp.InitInstance();
    if (CaptureThreadsAlive() > 0) {
        // A source that hangs holds its thread inside a library; the program still ends, without
        // tearing down what that thread may yet touch.
        std::fflush(nullptr);
        std::_Exit(0);
    }
    return 0;
}
