#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/VornApp.h"
#include "capture/ThreadCount.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vorn"));
    QApplication::setOrganizationName(QStringLiteral("Brimlow"));
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
