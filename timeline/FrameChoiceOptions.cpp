// The choice's command-line options, the --list lines and the summary after them.
#include "timeline/FrameChoice.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QTimeZone>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "frames/FrameFile.h"
#include "platform/Numbers.h"
#include "platform/TextFields.h"
#include "platform/TimeZone.h"
#include "schedule/CaptureSchedule.h"

namespace {

constexpr int kMinutesPerDay = 1440;
constexpr int kMaxToleranceMinutes = 720;
// The days without a daily frame that the summary names; the rest are counted.
constexpr std::size_t kNamedDays = 10;

struct OptionText {
    const char* name;
    const char* valueName;
    const char* help;
    const char* bad;  // the message for a value it does not take
};

constexpr OptionText kOptions[] = {
    {"day", "DATE", "Only the frames of one day: YYYY-MM-DD, today or yesterday.",
     "--day takes a date as YYYY-MM-DD, today or yesterday"},
    {"from", "WHEN", "Only the frames from WHEN on: YYYY-MM-DD or YYYY-MM-DDTHH:MM, local time.",
     "--from takes a date as YYYY-MM-DD or a date and time as YYYY-MM-DDTHH:MM"},
    {"to", "WHEN",
     "Only the frames up to WHEN: YYYY-MM-DD (that whole day) or YYYY-MM-DDTHH:MM, local time.",
     "--to takes a date as YYYY-MM-DD or a date and time as YYYY-MM-DDTHH:MM"},
    {"between", "HH:MM-HH:MM",
     "Only the frames taken between these times of each day; 22:00-04:00 runs past midnight.",
     "--between takes times of day as HH:MM-HH:MM, such as 06:00-20:00"},
    {"daily-at", "TIMES",
     "For each day, the frame nearest each time HH:MM (several separated by commas), or with "
     "solar-noon the frame nearest the sun's highest point at LONGITUDE.",
     "--daily-at takes times of day as HH:MM, several separated by commas, or solar-noon"},
    {"tolerance", "MINUTES",
     "How far from a --daily-at time a frame may be, in minutes (default 30).",
     "--tolerance takes whole minutes from 1 to 720"},
    {"every", "MINUTES",
     "The frame nearest every MINUTES minutes of each day, counted from midnight (1 to 1440).",
     "--every takes whole minutes from 1 to 1440"},
};

const OptionText* OptionNamed(const std::string& name) {
    const auto found = std::find_if(std::begin(kOptions), std::end(kOptions),
                                    [&](const OptionText& option) { return option.name == name; });
    return found == std::end(kOptions) ? nullptr : found;
}

bool AllDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// "HH:MM" from 00:00 to 23:59.
std::optional<MinuteOfDay> ParseTimeOfDay(std::string_view text) {
    const std::optional<int> minute = ParseClockTime(text);
    return minute && *minute < kMinutesPerDay ? minute : std::nullopt;
}

std::optional<LocalMoment> ParseMoment(std::string_view text) {
    const std::optional<QDate> date = ParseIsoDate(text.substr(0, 10));
    if (!date || (text.size() > 10 && text[10] != 'T')) {
        return std::nullopt;
    }
    if (text.size() == 10) {
        return LocalMoment{*date, std::nullopt};
    }
    const std::optional<MinuteOfDay> time = ParseTimeOfDay(text.substr(11));
    return time ? std::optional(LocalMoment{*date, time}) : std::nullopt;
}

std::optional<std::vector<MinuteOfDay>> ParseTimes(std::string_view text) {
    std::vector<MinuteOfDay> times;
    for (;;) {
        const std::size_t comma = text.find(',');
        const std::optional<MinuteOfDay> time = ParseTimeOfDay(text.substr(0, comma));
        if (!time) {
            return std::nullopt;
        }
        times.push_back(*time);
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
    }
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    return times;
}

// "HH:MM-HH:MM" whose start and end are the same time: a range of no time at all.
bool IsEmptyRange(std::string_view text) {
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos) {
        return false;
    }
    const std::optional<MinuteOfDay> start = ParseTimeOfDay(Trimmed(text.substr(0, dash)));
    return start && start == ParseClockTime(Trimmed(text.substr(dash + 1)));
}

std::optional<int> WholeWithin(std::string_view text, int low, int high) {
    if (text.empty() || !AllDigits(text)) {
        return std::nullopt;
    }
    const std::optional<int> value = ParseWholeInt(text);
    return value && *value >= low && *value <= high ? value : std::nullopt;
}

// Sets the option `name` from `text`; false when the text is not a value it takes.
bool SetOption(FrameChoice& choice, const std::string& name, std::string_view text,
               const QDate& today) {
    if (name == "day") {
        const std::optional<QDate> day = text == "today"       ? std::optional(today)
                                         : text == "yesterday" ? std::optional(today.addDays(-1))
                                                               : ParseIsoDate(text);
        choice.day = day;
        return day.has_value();
    }
    if (name == "from" || name == "to") {
        const std::optional<LocalMoment> moment = ParseMoment(text);
        (name == "from" ? choice.from : choice.to) = moment;
        return moment.has_value();
    }
    if (name == "between") {
        const std::optional<DailyHours> hours = ParseDailyHours(text);
        if (hours) {
            // An end at 24:00 is the next midnight.
            choice.between = std::pair(hours->startMinute, hours->endMinute % kMinutesPerDay);
        }
        return hours.has_value();
    }
    if (name == "daily-at") {
        const bool solarNoon = text == "solar-noon";
        const auto times = solarNoon ? std::vector<MinuteOfDay>() : ParseTimes(text);
        choice.dailyAtSolarNoon = solarNoon;
        choice.dailyAt = times.value_or(std::vector<MinuteOfDay>());
        return times.has_value();
    }
    const bool tolerance = name == "tolerance";
    const std::optional<int> minutes =
        WholeWithin(text, 1, tolerance ? kMaxToleranceMinutes : kMinutesPerDay);
    if (minutes) {
        (tolerance ? choice.toleranceMinutes : choice.everyMinutes) = *minutes;
    }
    return minutes.has_value();
}

std::string TwoDigits(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

std::string ClockText(MinuteOfDay minute) {
    return TwoDigits(minute / 60) + ":" + TwoDigits(minute % 60);
}

std::string DateText(const QDate& date) {
    return date.toString(Qt::ISODate).toStdString();
}

// The --daily-at times: "06:00 or 18:00", "solar noon"; empty when there are none.
std::string DailyTimesText(const FrameChoice& choice) {
    std::string times;
    for (const MinuteOfDay minute : choice.dailyAt) {
        times += (times.empty() ? "" : " or ") + ClockText(minute);
    }
    if (choice.dailyAtSolarNoon) {
        times += (times.empty() ? "" : " or ") + std::string("solar noon");
    }
    return times;
}

// "no frame near 12:00 on 2026-03-30, 2026-04-02"; empty when every day had its frames.
std::string MissedDays(const std::vector<QDate>& days, const FrameChoice& choice) {
    if (days.empty()) {
        return {};
    }
    std::string text = "no frame near " + DailyTimesText(choice) + " on ";
    for (std::size_t i = 0; i < days.size() && i < kNamedDays; ++i) {
        text += (i == 0 ? "" : ", ") + DateText(days[i]);
    }
    if (days.size() > kNamedDays) {
        text += " and " + std::to_string(days.size() - kNamedDays) + " more days";
    }
    return text;
}

}  // namespace

QList<QCommandLineOption> FrameChoiceOptions() {
    QList<QCommandLineOption> options;
    for (const OptionText& option : kOptions) {
        options.append(QCommandLineOption(QString::fromLatin1(option.name),
                                          QString::fromLatin1(option.help),
                                          QString::fromLatin1(option.valueName)));
    }
    options.append(QCommandLineOption(
        "list", "Print the chosen frames and when each was taken, then a summary; make no video."));
    return options;
}

std::optional<std::string> ReadFrameChoice(const QCommandLineParser& parser, const QDate& today,
                                           FrameChoice& choice) {
    for (const OptionText& option : kOptions) {
        const QString name = QString::fromLatin1(option.name);
        if (!parser.isSet(name)) {
            continue;
        }
        if (auto message = SetFrameChoiceOption(choice, option.name,
                                                parser.value(name).toStdString(), today)) {
            return message;
        }
    }
    return std::nullopt;
}

std::optional<std::string> SetFrameChoiceOption(FrameChoice& choice, const std::string& option,
                                                const std::string& text, const QDate& today) {
    const OptionText* known = OptionNamed(option);
    if (known == nullptr) {
        return "--" + option + " is not an option of the frame choice";
    }
    if (!SetOption(choice, option, Trimmed(text), today)) {
        if (option == "between" && IsEmptyRange(Trimmed(text))) {
            return "--between " + std::string(Trimmed(text)) +
                   " is an empty range: it starts and ends at the same time";
        }
        return std::string(known->bad);
    }
    return std::nullopt;
}

std::string ListLine(const TimedFrame& frame) {
    return FrameFileName(frame.number) + " " +
           IsoTimeWithOffset(frame.time.ms, frame.time.utcOffsetSeconds);
}

std::string ChoiceSummary(const ChosenFrames& chosen, const FrameChoice& choice, double fps) {
    const int count = static_cast<int>(chosen.frames.size());
    std::string text = GroupedDigits(count) + " of " + GroupedDigits(chosen.candidates) +
                       (chosen.candidates == 1 ? " frame" : " frames") + " chosen";
    if (const std::string missed = MissedDays(chosen.daysWithoutDailyFrame, choice);
        !missed.empty()) {
        text += "; " + missed;
    }
    if (fps > 0) {
        char rate[32];
        std::snprintf(rate, sizeof rate, "%g", fps);
        text += "; " + LengthText(count / fps) + " at " + rate + " frames a second";
    }
    return text;
}

std::string ChoiceInWords(const FrameChoice& choice) {
    const auto moment = [](const LocalMoment& when) {
        return DateText(when.date) + (when.time ? " " + ClockText(*when.time) : "");
    };
    std::vector<std::string> parts;
    if (choice.day) {
        parts.push_back("on " + DateText(*choice.day));
    }
    if (choice.from) {
        parts.push_back("from " + moment(*choice.from));
    }
    if (choice.to) {
        parts.push_back((choice.to->time ? "up to " : "up to the end of ") + moment(*choice.to));
    }
    if (choice.between) {
        parts.push_back("between " + ClockText(choice.between->first) + " and " +
                        ClockText(choice.between->second));
    }
    if (const std::string daily = DailyTimesText(choice); !daily.empty()) {
        parts.push_back("within " + std::to_string(choice.toleranceMinutes) + " minutes of " +
                        daily);
    }
    if (choice.everyMinutes > 0) {
        parts.push_back("near every " + std::to_string(choice.everyMinutes) + " minutes");
    }
    std::string words;
    for (const std::string& part : parts) {
        words += (words.empty() ? "" : " ") + part;
    }
    return words;
}
