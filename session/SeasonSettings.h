#pragma once

#include <QDate>
#include <cstdio>
#include <optional>
#include <string>
#include <variant>

#include "capture/SaveConditions.h"
#include "res/ExitCodes.h"
#include "timeline/FrameChoice.h"
#include "video/ModeContext.h"

struct StoredSettings;

// The settings of a capture that runs for a season, as the runs take them.

// What the settings ask of each saved frame: the schedule, the free-space floor and latest.jpg,
// with the program's free-space probe; or what is wrong with a value, naming its key and the file.
std::variant<SaveConditions, std::string> SaveConditionsFrom(const StoredSettings& settings);

// Where the settings start a project's day (DAY_STARTS_AT) and where its sun is reckoned
// (LONGITUDE), for choosing frames by day.
DayRules DayRulesFrom(const StoredSettings& settings);

// Prints the plan of `days` days from `from`, one line a day ("2024-06-01 05:12-21:40 ...", or
// "2024-06-01 none"), to `out`.
void PrintSchedulePlan(const CaptureSchedule& schedule, const QDate& from, int days,
                       std::FILE* out);

// `vorn --schedule [--days N]`: the plan of the settings' schedule in `context` from its day, on
// standard output; a bad setting is told on standard error.
ExitCode RunSchedulePlan(const ModeContext& context, int days);
