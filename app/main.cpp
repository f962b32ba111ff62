#include <QApplication>

#include "app/VornApp.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vorn"));
    QApplication::setOrganizationName(QStringLiteral("Brimlow"));
    CVornApp theApp;
    theApp.InitInstance();
    return 0;
}
