#include "widgets/Display.h"

#include <QGuiApplication>

namespace {

constexpr char kPlatformVariable[] = "QT_QPA_PLATFORM";
constexpr char kOffscreen[] = "offscreen";

// True when the environment names a display to show windows on.
bool DisplayNamed() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace

bool UseOffscreenWithoutDisplay() {
    if (DisplayNamed() || !qEnvironmentVariableIsEmpty(kPlatformVariable)) {
        return false;
    }
    qputenv(kPlatformVariable, kOffscreen);
    return true;
}

bool WindowsAreSeen() {
    const QString platform = QGuiApplication::platformName();
    return !platform.isEmpty() && platform != QLatin1String(kOffscreen) &&
           platform != QLatin1String("minimal");
}
