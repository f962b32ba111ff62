#include "support/FakeCameraControls.h"

#include <linux/videodev2.h>

#include <QFile>
#include <QRegularExpression>
#include <QtGlobal>
#include <algorithm>

namespace {

// The names v4l2-ctl makes of the driver's control names, before and after Linux 5.16 renamed
// several of them, with their ids.
const std::map<QString, std::uint32_t> kIdsByName = {
    {"brightness", V4L2_CID_BRIGHTNESS},
    {"contrast", V4L2_CID_CONTRAST},
    {"saturation", V4L2_CID_SATURATION},
    {"gain", V4L2_CID_GAIN},
    {"sharpness", V4L2_CID_SHARPNESS},
    {"backlight_compensation", V4L2_CID_BACKLIGHT_COMPENSATION},
    {"power_line_frequency", V4L2_CID_POWER_LINE_FREQUENCY},
    {"white_balance_temperature_auto", V4L2_CID_AUTO_WHITE_BALANCE},
    {"white_balance_automatic", V4L2_CID_AUTO_WHITE_BALANCE},
    {"white_balance_temperature", V4L2_CID_WHITE_BALANCE_TEMPERATURE},
    {"exposure_auto", V4L2_CID_EXPOSURE_AUTO},
    {"auto_exposure", V4L2_CID_EXPOSURE_AUTO},
    {"exposure_absolute", V4L2_CID_EXPOSURE_ABSOLUTE},
    {"exposure_time_absolute", V4L2_CID_EXPOSURE_ABSOLUTE},
    {"exposure_auto_priority", V4L2_CID_EXPOSURE_AUTO_PRIORITY},
    {"exposure_dynamic_framerate", V4L2_CID_EXPOSURE_AUTO_PRIORITY},
    {"pan_absolute", V4L2_CID_PAN_ABSOLUTE},
    {"tilt_absolute", V4L2_CID_TILT_ABSOLUTE},
    {"focus_absolute", V4L2_CID_FOCUS_ABSOLUTE},
    {"focus_auto", V4L2_CID_FOCUS_AUTO},
    {"focus_automatic_continuous", V4L2_CID_FOCUS_AUTO},
    {"zoom_absolute", V4L2_CID_ZOOM_ABSOLUTE},
};

// "<name> <id> (<type>) : min=… max=… step=… default=… value=… flags=…"; a bool has no range.
const QRegularExpression kControlLine(R"(^\s*(\w+) (0x[0-9a-f]{8}) \((int|bool|menu)\)\s*:(.*)$)");
std::int32_t Field(const QString& fields, const QString& name, std::int32_t fallback) {
    const auto match = QRegularExpression("\\b" + name + "=(-?\\d+)").match(fields);
    return match.hasMatch() ? match.captured(1).toInt() : fallback;
}

}  // namespace

std::unique_ptr<FakeCameraControls> FakeCameraControls::FromListing(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qWarning("cannot read %s", qPrintable(path));
        return nullptr;
    }
    std::unique_ptr<FakeCameraControls> fake(new FakeCameraControls);
    Device& device = *fake->m_device;
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
        const auto control = kControlLine.match(line);
        if (!control.hasMatch()) {
            continue;  // a class heading, a menu item or a blank line
        }
        const auto id = kIdsByName.find(control.captured(1));
        if (id == kIdsByName.end() || id->second != control.captured(2).toUInt(nullptr, 16)) {
            qWarning("unknown control or id: %s", qPrintable(line));
            return nullptr;
        }
        const QString fields = control.captured(4);
        const bool isBool = control.captured(3) == "bool";
        device.controls.push_back({id->second, Field(fields, "value", 0), Field(fields, "min", 0),
                                   Field(fields, "max", isBool ? 1 : 0), Field(fields, "step", 1),
                                   fields.contains("read-only") || fields.contains("grabbed")});
    }
    return fake;
}

std::vector<CameraControl> FakeCameraControls::List() {
    std::lock_guard lock(m_device->mutex);
    return m_device->controls;
}

bool FakeCameraControls::Set(std::uint32_t id, std::int32_t value) {
    std::lock_guard lock(m_device->mutex);
    m_device->sets.push_back({id, value});
    CameraControl* control = Find(id);
    if (!control || control->readOnly || m_device->refused.contains(id)) {
        return false;
    }
    const auto held = m_device->held.find(id);
    control->value = held == m_device->held.end() ? value : held->second;
    return true;
}

std::optional<std::int32_t> FakeCameraControls::Get(std::uint32_t id) {
    std::lock_guard lock(m_device->mutex);
    const CameraControl* control = Find(id);
    return control ? std::optional(control->value) : std::nullopt;
}

void FakeCameraControls::Refuse(std::uint32_t id) {
    std::lock_guard lock(m_device->mutex);
    m_device->refused.insert(id);
}

void FakeCameraControls::HoldAt(std::uint32_t id, std::int32_t held) {
    std::lock_guard lock(m_device->mutex);
    m_device->held[id] = held;
}

std::vector<ControlSetting> FakeCameraControls::Sets() const {
    std::lock_guard lock(m_device->mutex);
    return m_device->sets;
}

CameraControl* FakeCameraControls::Find(std::uint32_t id) {
    const auto found = std::find_if(m_device->controls.begin(), m_device->controls.end(),
                                    [id](const auto& control) { return control.id == id; });
    return found == m_device->controls.end() ? nullptr : &*found;
}
