#include "panel/ScheduleDlg.h"

#include <QCheckBox>
#include <QLockFile>
#include <QPushButton>
#include <chrono>
#include <cmath>
#include <optional>
#include <string>

#include "platform/Numbers.h"
#include "platform/SettingsKey.h"
#include "res/DialogTemplates.h"
#include "res/Resource.h"
#include "schedule/CaptureSchedule.h"
#include "settings/SettingNames.h"
#include "settings/Settings.h"
#include "widgets/DialogControls.h"
#include "widgets/MessageBox.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kLockWait = 5s;

// Each field's key and the text that stands for the key's absence.
struct Field {
    int id;
    const char* key;
    const char* absent;
};

const Field kFields[] = {
    {IDC_CAPTURE_HOURS, SettingNames::kCaptureHours, ""},
    {IDC_CAPTURE_DAYLIGHT, SettingNames::kCaptureDaylight, "0"},
    {IDC_LATITUDE, SettingNames::kLatitude, ""},
    {IDC_LONGITUDE, SettingNames::kLongitude, ""},
    {IDC_MIN_FREE_MB, SettingNames::kMinFreeMb, "200"},
    {IDC_LATEST_FRAME, SettingNames::kLatestFrame, "0"},
    {IDC_CAMERA_LOCK, SettingNames::kCameraLock, "0"},
    {IDC_POWER_LINE_HZ, SettingNames::kPowerLineHz, "50"},
};

bool IsCheckBox(int id) {
    return id == IDC_CAPTURE_DAYLIGHT || id == IDC_LATEST_FRAME || id == IDC_CAMERA_LOCK;
}

}  // namespace

ScheduleDlg::ScheduleDlg(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    CreateControls(*this, kScheduleDialogTemplate);
    connect(GetDlgItemAs<QPushButton>(*this, IDOK), &QPushButton::clicked, this,
            &ScheduleDlg::accept);
    connect(GetDlgItemAs<QPushButton>(*this, IDCANCEL), &QPushButton::clicked, this,
            &ScheduleDlg::reject);
    Load();
}

void ScheduleDlg::Load() {
    const std::optional<SettingsKey> key = SettingsKey::OpenForReading();
    for (const Field& field : kFields) {
        std::string text = field.absent;
        if (key) {
            text = key->Query(field.key).value_or(field.absent);
        }
        const QString value = QString::fromStdString(text).trimmed();
        if (IsCheckBox(field.id)) {
            GetDlgItemAs<QCheckBox>(*this, field.id)->setChecked(value == QLatin1String("1"));
        } else if (field.id == IDC_POWER_LINE_HZ) {
            SetDlgItemText(*this, field.id,
                           value == QLatin1String("60") ? tr("60 Hz") : tr("50 Hz"));
        } else {
            SetDlgItemText(*this, field.id,
                           value.isEmpty() ? QString::fromLatin1(field.absent) : value);
        }
    }
}

bool ScheduleDlg::Refuse(int id, const QString& message) {
    ShowMessageBox(message);
    if (QWidget* control = GetDlgItem(*this, id)) {
        control->setFocus();
    }
    return false;
}

bool ScheduleDlg::Store() {
    const auto text = [this](int id) { return GetDlgItemText(*this, id).trimmed().toStdString(); };
    const auto checked = [this](int id) {
        return GetDlgItemAs<QCheckBox>(*this, id)->isChecked() ? std::string("1")
                                                               : std::string("0");
    };
    const std::string hours = text(IDC_CAPTURE_HOURS);
    if (!hours.empty() && !ParseDailyHours(hours)) {
        return Refuse(IDC_CAPTURE_HOURS,
                      tr("Capture hours: please give a range of local time as HH:MM-HH:MM, such "
                         "as 07:00-19:00 (22:00-04:00 runs across midnight), or leave it empty "
                         "for all day."));
    }
    const bool daylight = checked(IDC_CAPTURE_DAYLIGHT) == "1";
    const struct {
        int id;
        double limit;
        QString message;
    } places[] = {
        {IDC_LATITUDE, 90.0,
         tr("Latitude: please give decimal degrees from -90 to 90, north positive (51.48).")},
        {IDC_LONGITUDE, 180.0,
         tr("Longitude: please give decimal degrees from -180 to 180, east positive (-0.0015).")},
    };
    for (const auto& place : places) {
        const std::string value = text(place.id);
        if (value.empty() && daylight) {
            return Refuse(place.id, tr("Capturing from civil dawn to civil dusk needs the "
                                       "place: ") +
                                        place.message);
        }
        const std::optional<double> number = ParseWholeNumber(value);
        if (!value.empty() && (!number || std::abs(*number) > place.limit)) {
            return Refuse(place.id, place.message);
        }
    }
    const std::optional<int> minFree = ParseWholeInt(text(IDC_MIN_FREE_MB));
    if (!minFree || *minFree < 0) {
        return Refuse(IDC_MIN_FREE_MB,
                      tr("Keep free on the disk: please give the megabytes as a whole number, or "
                         "0 for no floor."));
    }
    const std::string values[] = {
        hours,
        checked(IDC_CAPTURE_DAYLIGHT),
        text(IDC_LATITUDE),
        text(IDC_LONGITUDE),
        std::to_string(*minFree),
        checked(IDC_LATEST_FRAME),
        checked(IDC_CAMERA_LOCK),
        text(IDC_POWER_LINE_HZ).substr(0, 2),
    };
    // Under the lock an unattended launch takes to count its frame.
    const auto lock = SettingsKey::Lock(kLockWait);
    const std::optional<SettingsKey> key = SettingsKey::OpenForReading();
    for (std::size_t i = 0; i < std::size(kFields); ++i) {
        const Field& field = kFields[i];
        const std::optional<std::string> stored = key ? key->Query(field.key) : std::nullopt;
        const std::string before =
            stored ? QString::fromStdString(*stored).trimmed().toStdString() : field.absent;
        if (values[i] == before || (!stored && values[i] == field.absent)) {
            continue;
        }
        if (!lock || !SettingsKey::StoreValue(field.key, values[i])) {
            ShowMessageBox(tr("Could not write the settings file %1; nothing more was changed.")
                               .arg(SettingsKey::FilePath()));
            return false;
        }
    }
    return true;
}

void ScheduleDlg::accept() {
    if (Store()) {
        QDialog::accept();
    }
}
