#include "widgets/DesktopNotification.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <QVariantMap>

namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kIconName[] = "vorn";  // the installed icon's name
constexpr int kServerChoosesTimeout = -1;

// Without a bus address or the user's bus socket, libdbus would try to start a bus of its own
// ("autolaunch"), which can take long and is no desktop anyone watches.
bool SessionBusMayRun() {
    return !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") ||
           QFileInfo::exists(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
                             "/bus");
}

}  // namespace

void NotifyDesktop(const QString& summary, const QString& body) {
    if (!SessionBusMayRun()) {
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage notify =
        QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                       QString::fromLatin1(kService), QStringLiteral("Notify"));
    notify << QCoreApplication::applicationName() << 0u << QString::fromLatin1(kIconName) << summary
           << body << QStringList() << QVariantMap() << kServerChoosesTimeout;
    // Sent without waiting for the reply: a service that is missing or slow holds nothing up.
    bus.send(notify);
}
