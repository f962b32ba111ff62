#include <QApplication>

#include "app/VornApp.h"
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
    return 0;
}
