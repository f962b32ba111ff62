#pragma once

#include <QDate>
#include <QDateTime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// When a season-long capture saves frames: daily hours in local time, and/or the daylight between
// civil dawn and civil dusk at a place; with both, both must hold. The settings file gives them
// (settings/). Local time is the system's zone (TZ), daylight-saving changes included.

// A daily range of local time, in minutes from midnight. An end before the start runs across
// midnight; an end of 1440 is midnight at the end of the day.
struct DailyHours {
    int startMinute = 0;
    int endMinute = 1440;

    bool operator==(const DailyHours&) const = default;
};

// Reads `HH:MM` with two digits each (24:00 too): minutes from midnight; nothing when the text is
// not such a time.
std::optional<int> ParseClockTime(std::string_view text);

// Reads `HH:MM-HH:MM` (24:00 only as an end, 00:00-24:00 the whole day); nothing when the text
// is not such a range or its start and end are the same.
std::optional<DailyHours> ParseDailyHours(std::string_view text);

// A range of instants, local QDateTimes, the start included and the end not.
struct TimeRange {
    QDateTime start;
    QDateTime end;

    bool operator==(const TimeRange&) const = default;
};

class CaptureSchedule {
public:
    // Every minute of every day: the capture as it always was.
    CaptureSchedule() = default;
    CaptureSchedule(std::optional<DailyHours> hours, bool daylight, double latitude,
                    double longitude);

    // True when nothing limits the capture.
    bool AllDay() const { return !m_hours && !m_daylight; }
    // LATITUDE and LONGITUDE, north and east positive: where the sun's times are reckoned.
    double Latitude() const { return m_latitude; }
    double Longitude() const { return m_longitude; }

    // The local ranges of `date` in which frames are saved, in order and apart; a range that goes
    // on past midnight ends at the day's end and the next day's plan starts with the rest.
    std::vector<TimeRange> DayPlan(const QDate& date) const;
    // Whether a frame may be saved at `now`.
    bool IsOpen(const QDateTime& now) const;
    // When the range open at `now` began, across midnight; nothing when the schedule is closed
    // at `now`, or open all day.
    std::optional<QDateTime> OpenedAt(const QDateTime& now) const;
    // `now` when the schedule is open, else the start of its next range, looked for up to a year
    // ahead; nothing when none comes in that time (a place in polar night, say).
    std::optional<QDateTime> NextOpening(const QDateTime& now) const;
    // The next instant after `now` at which the schedule opens or closes, looked for up to a year
    // ahead; nothing when it never changes.
    std::optional<QDateTime> NextChange(const QDateTime& now) const;

private:
    std::vector<TimeRange> HoursOf(const QDate& date) const;
    std::vector<TimeRange> DaylightOf(const QDate& date) const;

    std::optional<DailyHours> m_hours;
    bool m_daylight = false;
    double m_latitude = 0.0;
    double m_longitude = 0.0;
};

// One line of `vorn --schedule`: "2024-06-01 05:12-21:40" (ranges separated by spaces), or
// "2024-06-01 none". A range that ends at the day's end shows 24:00.
std::string PlanLine(const QDate& date, const std::vector<TimeRange>& ranges);

// The local time of `when` as the window shows it: "21:40", with the date before it when it is
// not `today`: "2024-06-02 05:12".
std::string ShownTime(const QDateTime& when, const QDate& today);
