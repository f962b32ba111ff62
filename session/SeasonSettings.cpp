#include "session/SeasonSettings.h"

#include <QCommandLineParser>

#include "capture/OneFrameCapture.h"
#include "frames/FrameFile.h"
#include "res/Strings.h"
#include "settings/Settings.h"

std::variant<SaveConditions, std::string> SaveConditionsFrom(const StoredSettings& settings) {
    if (std::string trouble = BadValuesMessage(settings, kSaveConditionSettings);
        !trouble.empty()) {
        return trouble;
    }
    SaveConditions conditions;
    conditions.schedule = settings.schedule;
    conditions.minFreeMb = settings.minFreeMb;
    conditions.latestFrame = settings.latestFrame;
    return conditions;
}

void PrintSchedulePlan(const CaptureSchedule& schedule, const QDate& from, int days,
                       std::FILE* out) {
    for (int day = 0; day < days; ++day) {
        const QDate date = from.addDays(day);
        std::fprintf(out, "%s\n", PlanLine(date, schedule.DayPlan(date)).c_str());
    }
}

ExitCode RunSchedulePlan(int days) {
    // No settings file is no schedule: every day whole, as the capture has always run.
    const std::optional<StoredSettings> settings = ReadSettings();
    const auto conditions = SaveConditionsFrom(settings.value_or(DefaultSettings()));
    if (const auto* trouble = std::get_if<std::string>(&conditions)) {
        std::fprintf(stderr, "vorn: %s\n", trouble->c_str());
        return ExitCode::BadSetting;
    }
    PrintSchedulePlan(std::get<SaveConditions>(conditions).schedule, QDate::currentDate(), days,
                      stdout);
    std::fflush(stdout);
    return ExitCode::Success;
}

DayRules DayRulesFrom(const StoredSettings& settings) {
    return {settings.dayStartsAt, settings.schedule.Longitude()};
}

std::optional<std::string> FrameDirOfCommand(const QCommandLineParser& parser,
                                             const std::optional<StoredSettings>& stored,
                                             std::string& trouble) {
    if (parser.isSet("dir")) {
        return WithTrailingSeparator(parser.value("dir").toStdString());
    }
    if (stored && stored->frameDir) {
        return stored->frameDir;
    }
    trouble = std::string(kCannotFindSettingsMessage) + " (" + SettingsTrouble(stored) + ")";
    return std::nullopt;
}
