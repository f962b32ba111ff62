#include "session/SeasonSettings.h"

#include "capture/OneFrameCapture.h"
#include "settings/Settings.h"

std::variant<SaveConditions, std::string> SaveConditionsFrom(const StoredSettings& settings) {
    if (std::optional<std::string> trouble = BadValuesMessage(settings, kSaveConditionSettings)) {
        return *std::move(trouble);
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

ExitCode RunSchedulePlan(const ModeContext& context, int days) {
    // No settings file is no schedule: every day whole, as the capture has always run.
    if (context.badSettings) {
        return TellFailure(ExitCode::BadSetting, *context.badSettings);
    }
    PrintSchedulePlan(context.schedule, context.now.date(), days, stdout);
    std::fflush(stdout);
    return ExitCode::Success;
}

DayRules DayRulesFrom(const StoredSettings& settings) {
    return {settings.dayStartsAt, settings.schedule.Longitude()};
}
