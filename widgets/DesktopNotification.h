#pragma once

#include <QString>

// Shows a notification through the desktop's notification service (org.freedesktop.Notifications
// on the session bus), as the shell's balloon tip does elsewhere. It never waits for the service:
// without a session bus or a service, nothing is shown and nothing else happens. UI thread only.
void NotifyDesktop(const QString& summary, const QString& body);
