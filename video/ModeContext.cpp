#include "video/ModeContext.h"

#include "res/Strings.h"

ExitCode ModeContext::TellMissingSettings() const {
    return TellFailure(ExitCode::SettingsMissing,
                       std::string(kCannotFindSettingsMessage) + " (" + missing.value_or("") + ")");
}
