#include "settings/Settings.h"

#include <QFileInfo>
#include <array>
#include <cctype>
#include <climits>

#include "app/VornDlg.h"
#include "frames/FrameFile.h"
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

std::optional<StoredSettings> ReadSettings() {
    const auto key = SettingsKey::OpenForReading();
    if (!key) {
        return std::nullopt;
    }
    const auto number = [&](const char* name) -> std::optional<int> {
        if (const auto text = key->Query(name)) {
            return ParseInt(*text);
        }
        return std::nullopt;
    };
    StoredSettings settings;
    if (const auto dir = key->Query(SettingNames::kAutoStartDir)) {
        settings.frameDir = WithTrailingSeparator(*dir);
    }
    settings.autoStart = number(SettingNames::kAutoStartOnOff);
    settings.frameCount = number(SettingNames::kAutoStartFrameCount);
    settings.cameraIndex = number(SettingNames::kCamRef);
    if (const auto ref = number(SettingNames::kResolutionRef)) {
        settings.resolution = ResolutionCodeFor(*ref);
    }
    settings.camSource = key->Query(SettingNames::kCamSource, kMaxCamSourceBytes).value_or("");
    return settings;
}

bool CVornDlg::LoadSettings() {
    const auto settings = ReadSettings();
    if (!settings) {
        return false;
    }
    // A missing value fails the load and leaves its member as it is.
    if (settings->frameDir) {
        SetFrameDir(*settings->frameDir);
        SetDlgItemText(IDC_FRAME_DIR, QString::fromStdString(GetFrameDir()));
    }
    m_autoStart = settings->autoStart.value_or(m_autoStart);
    if (m_autoStart > 0) {
        m_timers.SetTimer(kAutoStartTimer, kAutoStartTimerMs);
    }
    m_autoStartFrameCount = settings->frameCount.value_or(m_autoStartFrameCount);
    m_cameraIndex = settings->cameraIndex.value_or(m_cameraIndex);
    m_resolution = settings->resolution.value_or(m_resolution);
    m_camSource = settings->camSource;
    return settings->Complete();
}
