#include "panel/ScheduleDlg.h"

#include <QCheckBox>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <string>

#include "res/DialogTemplates.h"
#include "res/Resource.h"
#include "settings/Settings.h"
#include "widgets/DialogControls.h"
#include "widgets/MessageBox.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kLockWait = 5s;

// Each field and the value it shows.
struct Field {
    int id;
    Setting setting;
};

const Field kFields[] = {
    {IDC_CAPTURE_HOURS, Setting::CaptureHours}, {IDC_CAPTURE_DAYLIGHT, Setting::CaptureDaylight},
    {IDC_LATITUDE, Setting::Latitude},          {IDC_LONGITUDE, Setting::Longitude},
    {IDC_MIN_FREE_MB, Setting::MinFreeMb},      {IDC_LATEST_FRAME, Setting::LatestFrame},
    {IDC_CAMERA_LOCK, Setting::CameraLock},     {IDC_POWER_LINE_HZ, Setting::PowerLineHz},
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
    std::vector<Setting> settings;
    for (const Field& field : kFields) {
        settings.push_back(field.setting);
    }
    const std::vector<std::string> texts = ReadSettingTexts(settings);
    for (std::size_t i = 0; i < std::size(kFields); ++i) {
        const int id = kFields[i].id;
        const QString value = QString::fromStdString(texts[i]);
        if (IsCheckBox(id)) {
            GetDlgItemAs<QCheckBox>(*this, id)->setChecked(value == QLatin1String("1"));
        } else if (id == IDC_POWER_LINE_HZ) {
            SetDlgItemText(*this, id, value == QLatin1String("60") ? tr("60 Hz") : tr("50 Hz"));
        } else {
            SetDlgItemText(*this, id, value);
        }
    }
    m_shown = FieldTexts();
}

std::vector<std::string> ScheduleDlg::FieldTexts() const {
    std::vector<std::string> texts;
    for (const Field& field : kFields) {
        if (IsCheckBox(field.id)) {
            texts.emplace_back(GetDlgItemAs<QCheckBox>(*this, field.id)->isChecked() ? "1" : "0");
        } else if (field.id == IDC_POWER_LINE_HZ) {
            texts.push_back(GetDlgItemText(*this, field.id).left(2).toStdString());
        } else {
            texts.push_back(GetDlgItemText(*this, field.id).trimmed().toStdString());
        }
    }
    return texts;
}

bool ScheduleDlg::Refuse(int id, const QString& message) {
    ShowMessageBox(message);
    if (QWidget* control = GetDlgItem(*this, id)) {
        control->setFocus();
    }
    return false;
}

bool ScheduleDlg::Store() {
    const std::vector<std::string> texts = FieldTexts();
    SettingTexts values;
    std::vector<std::pair<Setting, std::string>> changed;
    for (std::size_t i = 0; i < std::size(kFields); ++i) {
        values[kFields[i].setting] = texts[i];
        if (texts[i] != m_shown[i]) {
            changed.emplace_back(kFields[i].setting, texts[i]);
        }
    }
    // The settings file's own rules, and its messages.
    if (const std::vector<BadValue> bad = BadValuesOf(values); !bad.empty()) {
        const auto field =
            std::find_if(std::begin(kFields), std::end(kFields),
                         [&](const Field& f) { return f.setting == bad[0].setting; });
        return Refuse(field->id, QString::fromStdString(bad[0].message));
    }
    if (!StoreSettingTexts(changed, kLockWait)) {
        ShowMessageBox(tr("Could not write the settings file %1; nothing was changed.")
                           .arg(SettingsFilePath()));
        return false;
    }
    m_shown = texts;
    return true;
}

void ScheduleDlg::accept() {
    if (Store()) {
        QDialog::accept();
    }
}
