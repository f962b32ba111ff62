#include "widgets/WidgetApplication.h"

#include <QApplication>

QApplication* WidgetApplication() {
    return qobject_cast<QApplication*>(QCoreApplication::instance());
}
