#include "settings/Settings.h"

#include <QFileInfo>
#include <array>
#include <cctype>
#include <climits>

#include "app/VornDlg.h"
#include "platform/SettingsKey.h"
#include "res/Resource.h"
#include "settings/SettingNames.h"

namespace {

constexpr int kAutoStartTimerMs = 1000;
// A GStreamer pipeline can be long; the other values keep the usual limit.
constexpr std::size_t kMaxCamSourceBytes = 4096;

}  // namespace

int ParseInt(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = std::min(value * 10 + (text[i] - '0'), static_cast<long long>(INT_MAX) + 1);
    }
    value = negative ? -value : value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

int ResolutionCodeFor(int resolutionRef) {
    static constexpr std::array<int, 5> kCodes = {320240, 640480, 960720, 1024768, 16001200};
    if (resolutionRef >= 0 && resolutionRef < static_cast<int>(kCodes.size())) {
        return kCodes[resolutionRef];
    }
    return resolutionRef;
}

void CVornDlg::CreateDefaultSettings() {
    // A file that exists but cannot be read keeps what the user has in it.
    if (SettingsKey::OpenForReading() || QFileInfo::exists(SettingsKey::FilePath())) {
        return;
    }
    auto key = SettingsKey::OpenForWriting();
    if (!key) {
        return;
    }
    key->SetValue(SettingNames::kAutoStartOnOff, "0");
    key->SetValue(SettingNames::kAutoStartFrameCount, "0");
    key->SetValue(SettingNames::kCamRef, "0");
    key->SetValue(SettingNames::kResolutionRef, "1");
    key->SetValue(SettingNames::kAutoStartDir, "./");
}

bool CVornDlg::LoadSettings() {
    const auto key = SettingsKey::OpenForReading();
    if (!key) {
        return false;
    }
    bool result = true;
    // Reads one value; a missing one fails the load and leaves its member as it is.
    auto read = [&](const char* name, auto use) {
        if (const auto text = key->Query(name)) {
            use(*text);
        } else {
            result = false;
        }
    };
    read(SettingNames::kAutoStartDir, [this](const std::string& text) {
        SetFrameDir(WithTrailingSeparator(text));
        SetDlgItemText(IDC_FRAME_DIR, QString::fromStdString(GetFrameDir()));
    });
    read(SettingNames::kAutoStartOnOff, [this](const std::string& text) {
        m_autoStart = ParseInt(text);
        if (m_autoStart > 0) {
            m_timers.SetTimer(kAutoStartTimer, kAutoStartTimerMs);
        }
    });
    read(SettingNames::kAutoStartFrameCount,
         [this](const std::string& text) { m_autoStartFrameCount = ParseInt(text); });
    read(SettingNames::kCamRef,
         [this](const std::string& text) { m_cameraIndex = ParseInt(text); });
    read(SettingNames::kResolutionRef,
         [this](const std::string& text) { m_resolution = ResolutionCodeFor(ParseInt(text)); });
    m_camSource = key->Query(SettingNames::kCamSource, kMaxCamSourceBytes).value_or("");
    return result;
}

void CVornDlg::CountAutoStartFrame() {
    auto key = SettingsKey::OpenForWriting();
    if (!key) {
        return;
    }
    ++m_autoStartFrameCount;
    key->SetValue(SettingNames::kAutoStartFrameCount, std::to_string(m_autoStartFrameCount));
}
