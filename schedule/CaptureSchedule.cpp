#include "schedule/CaptureSchedule.h"

#include <QTimeZone>
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/TextFields.h"
#include "schedule/SunTimes.h"

namespace {

constexpr int kMinutesPerDay = 1440;
// How far NextOpening and NextChange look ahead: past the longest polar night up to the polar
// circles, and a schedule that opens no day of a year never opens.
constexpr int kLookAheadDays = 370;

// The local instant of `minute` minutes after the start of `date`'s wall clock. A time that the
// clocks skip (the hour a daylight-saving change leaves out) is the first one after it; 1440 is
// the next day's midnight.
QDateTime LocalTime(const QDate& date, int minute) {
    if (minute >= kMinutesPerDay) {
        return LocalTime(date.addDays(1), minute - kMinutesPerDay);
    }
    for (int later = minute; later < kMinutesPerDay; ++later) {
        QDateTime time(date, QTime(later / 60, later % 60));
        if (time.isValid()) {
            return time;
        }
    }
    return QDateTime(date.addDays(1), QTime(0, 0));
}

QDateTime FromMs(std::int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toLocalTime();
}

// The ranges of `ranges` (in order) cut to those that lie within [start, end).
std::vector<TimeRange> Within(const std::vector<TimeRange>& ranges, const QDateTime& start,
                              const QDateTime& end) {
    std::vector<TimeRange> within;
    for (const TimeRange& range : ranges) {
        const QDateTime from = std::max(range.start, start);
        const QDateTime to = std::min(range.end, end);
        if (from < to) {
            within.push_back({from, to});
        }
    }
    return within;
}

// Sorts and joins ranges that touch or overlap.
std::vector<TimeRange> Joined(std::vector<TimeRange> ranges) {
    std::sort(ranges.begin(), ranges.end(),
              [](const TimeRange& a, const TimeRange& b) { return a.start < b.start; });
    std::vector<TimeRange> joined;
    for (const TimeRange& range : ranges) {
        if (!joined.empty() && range.start <= joined.back().end) {
            joined.back().end = std::max(joined.back().end, range.end);
        } else {
            joined.push_back(range);
        }
    }
    return joined;
}

// The instants in both lists, each in order and apart.
std::vector<TimeRange> Intersection(const std::vector<TimeRange>& a,
                                    const std::vector<TimeRange>& b) {
    std::vector<TimeRange> both;
    for (const TimeRange& range : a) {
        const std::vector<TimeRange> part = Within(b, range.start, range.end);
        both.insert(both.end(), part.begin(), part.end());
    }
    return both;
}

std::string TwoDigits(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

// "HH:MM" of `when` on `date`'s wall clock, rounded to the nearest minute: 24:00 for the next
// day's midnight.
std::string ClockText(const QDateTime& when, const QDate& date) {
    const QDateTime rounded = when.addSecs(30);
    const QTime time = rounded.time();
    if (rounded.date() > date) {
        return "24:00";
    }
    return TwoDigits(time.hour()) + ":" + TwoDigits(time.minute());
}

}  // namespace

std::optional<int> ParseClockTime(std::string_view text) {
    if (text.size() != 5 || text[2] != ':' || !std::all_of(text.begin(), text.end(), [](char c) {
            return c == ':' || std::isdigit(static_cast<unsigned char>(c));
        })) {
        return std::nullopt;
    }
    const int hours = (text[0] - '0') * 10 + (text[1] - '0');
    const int minutes = (text[3] - '0') * 10 + (text[4] - '0');
    if (minutes > 59 || hours > 24 || (hours == 24 && minutes != 0)) {
        return std::nullopt;
    }
    return hours * 60 + minutes;
}

std::optional<DailyHours> ParseDailyHours(std::string_view text) {
    text = Trimmed(text);
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos) {
        return std::nullopt;
    }
    const std::optional<int> start = ParseClockTime(Trimmed(text.substr(0, dash)));
    const std::optional<int> end = ParseClockTime(Trimmed(text.substr(dash + 1)));
    // The same start and end would be either nothing or everything: 00:00-24:00 says the latter.
    if (!start || !end || *start == kMinutesPerDay || *start == *end) {
        return std::nullopt;
    }
    // An end of 00:00 is the midnight that ends the day.
    return DailyHours{*start, *end == 0 ? kMinutesPerDay : *end};
}

CaptureSchedule::CaptureSchedule(std::optional<DailyHours> hours, bool daylight, double latitude,
                                 double longitude)
    : m_hours(hours), m_daylight(daylight), m_latitude(latitude), m_longitude(longitude) {}

std::vector<TimeRange> CaptureSchedule::HoursOf(const QDate& date) const {
    const QDateTime dayStart = LocalTime(date, 0);
    const QDateTime dayEnd = LocalTime(date, kMinutesPerDay);
    if (!m_hours) {
        return {{dayStart, dayEnd}};
    }
    const int start = m_hours->startMinute;
    const int end = m_hours->endMinute;
    if (start < end) {
        return {{LocalTime(date, start), LocalTime(date, end)}};
    }
    // Across midnight: the end of the night before, and the start of this one.
    return Joined({{dayStart, LocalTime(date, end)}, {LocalTime(date, start), dayEnd}});
}

std::vector<TimeRange> CaptureSchedule::DaylightOf(const QDate& date) const {
    const QDateTime dayStart = LocalTime(date, 0);
    const QDateTime dayEnd = LocalTime(date, kMinutesPerDay);
    if (!m_daylight) {
        return {{dayStart, dayEnd}};
    }
    // The solar days around the local one: far from its zone's meridian, or near the polar
    // circles, a dusk may come after local midnight.
    std::vector<TimeRange> light;
    for (int offset = -1; offset <= 1; ++offset) {
        const CivilTwilight sun = CivilTwilightOn(date.addDays(offset), m_latitude, m_longitude);
        if (sun.kind == CivilTwilight::Kind::AllDay) {
            light.push_back({FromMs(sun.dayStartMs), FromMs(sun.dayEndMs)});
        } else if (sun.kind == CivilTwilight::Kind::DawnAndDusk && sun.dawnMs < sun.duskMs) {
            light.push_back({FromMs(sun.dawnMs), FromMs(sun.duskMs)});
        }
    }
    return Within(Joined(light), dayStart, dayEnd);
}

std::vector<TimeRange> CaptureSchedule::DayPlan(const QDate& date) const {
    return Joined(Intersection(HoursOf(date), DaylightOf(date)));
}

bool CaptureSchedule::IsOpen(const QDateTime& now) const {
    if (AllDay()) {
        return true;
    }
    const QDateTime local = now.toLocalTime();
    for (const TimeRange& range : DayPlan(local.date())) {
        if (range.start <= local && local < range.end) {
            return true;
        }
    }
    return false;
}

std::optional<QDateTime> CaptureSchedule::OpenedAt(const QDateTime& now) const {
    if (AllDay()) {
        return std::nullopt;
    }
    const QDateTime local = now.toLocalTime();
    for (const TimeRange& range : DayPlan(local.date())) {
        if (range.start <= local && local < range.end) {
            // A range that starts at midnight may go on from the evening before.
            const std::vector<TimeRange> before = DayPlan(local.date().addDays(-1));
            return !before.empty() && before.back().end == range.start ? before.back().start
                                                                       : range.start;
        }
    }
    return std::nullopt;
}

std::optional<QDateTime> CaptureSchedule::NextOpening(const QDateTime& now) const {
    if (IsOpen(now)) {
        return now;
    }
    const QDateTime local = now.toLocalTime();
    for (int day = 0; day <= kLookAheadDays; ++day) {
        for (const TimeRange& range : DayPlan(local.date().addDays(day))) {
            if (range.start > local) {
                return range.start;
            }
        }
    }
    return std::nullopt;
}

std::optional<QDateTime> CaptureSchedule::NextChange(const QDateTime& now) const {
    if (AllDay()) {
        return std::nullopt;
    }
    const QDateTime local = now.toLocalTime();
    const bool open = IsOpen(local);
    for (int day = 0; day <= kLookAheadDays; ++day) {
        const QDate date = local.date().addDays(day);
        for (const TimeRange& range : DayPlan(date)) {
            // A range that reaches the day's end goes on in the next day's plan.
            const bool goesOn = range.end == LocalTime(date, kMinutesPerDay) && IsOpen(range.end);
            if (!open && range.start > local) {
                return range.start;
            }
            if (open && range.end > local && !goesOn) {
                return range.end;
            }
        }
    }
    return std::nullopt;
}

std::string PlanLine(const QDate& date, const std::vector<TimeRange>& ranges) {
    std::string line = date.toString(Qt::ISODate).toStdString();
    if (ranges.empty()) {
        return line + " none";
    }
    for (const TimeRange& range : ranges) {
        line += " " + ClockText(range.start, date) + "-" + ClockText(range.end, date);
    }
    return line;
}

std::string ShownTime(const QDateTime& when, const QDate& today) {
    const QDateTime local = when.toLocalTime();
    std::string clock = local.time().toString(QStringLiteral("HH:mm")).toStdString();
    if (local.date() == today) {
        return clock;
    }
    return local.date().toString(Qt::ISODate).toStdString() + " " + clock;
}
