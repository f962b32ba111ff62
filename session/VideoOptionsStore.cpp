#include "session/VideoOptionsStore.h"

#include <QString>

#include "platform/Numbers.h"
#include "settings/SettingsKey.h"
#include "settings/SettingNames.h"
#include "video/VideoOutput.h"

namespace {

// The stored value `name` when `accepts` takes it; otherwise `value` keeps its default.
template <class Value, class Parse, class Accepts>
void Take(const SettingsKey& key, const char* name, Value& value, Parse parse, Accepts accepts) {
    if (const std::optional<std::string> text = key.Query(name)) {
        if (const auto parsed = parse(*text); parsed && accepts(*parsed)) {
            value = static_cast<Value>(*parsed);
        }
    }
}

std::optional<int> Flag(const std::string& text) {
    const std::optional<int> value = ParseWholeInt(text);
    return value && (*value == 0 || *value == 1) ? value : std::nullopt;
}

std::optional<std::string> Name(const std::string& text) {
    return OutputNameTrouble(text) ? std::nullopt : std::optional(text);
}

}  // namespace

VideoOptions ReadVideoOptions() {
    VideoOptions options;
    const std::optional<SettingsKey> key = SettingsKey::OpenForReading();
    if (!key) {
        return options;
    }
    const auto any = [](const auto&) { return true; };
    Take(*key, SettingNames::kVideoOutput, options.outputName, Name, any);
    Take(*key, SettingNames::kVideoDeflicker, options.deflicker, Flag, any);
    Take(*key, SettingNames::kVideoDeflickerWindow, options.deflickerWindow, ParseWholeInt,
         IsDeflickerWindow);
    Take(*key, SettingNames::kVideoSkipBad, options.skipBad, Flag, any);
    Take(*key, SettingNames::kVideoWidth, options.width, ParseWholeInt, IsWidthToScaleTo);
    Take(*key, SettingNames::kVideoLength, options.lengthSeconds, ParseWholeNumber,
         [](double seconds) { return seconds >= 0; });
    return options;
}

bool StoreVideoOptions(const VideoOptions& options) {
    const std::pair<const char*, std::string> values[] = {
        {SettingNames::kVideoOutput, options.outputName},
        {SettingNames::kVideoDeflicker, options.deflicker ? "1" : "0"},
        {SettingNames::kVideoDeflickerWindow, std::to_string(options.deflickerWindow)},
        {SettingNames::kVideoSkipBad, options.skipBad ? "1" : "0"},
        {SettingNames::kVideoWidth, std::to_string(options.width)},
        {SettingNames::kVideoLength, QString::number(options.lengthSeconds).toStdString()},
    };
    for (const auto& [name, text] : values) {
        if (!SettingsKey::StoreValue(name, text)) {
            return false;
        }
    }
    return true;
}
