#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>

#include "timeline/FrameChoice.h"

// The project's days over this process's local time (TZ): each starts at DAY_STARTS_AT on the
// wall clock and is named by the date it starts on, so it lasts 23, 24 or 25 hours. Days are
// worked out once each and kept, since a season has few days and many frames.

struct LocalDay {
    std::int64_t julianDay = 0;  // the date it is named by
    std::int64_t startMs = 0;    // [startMs, endMs), UTC
    std::int64_t endMs = 0;
    // The local clock's offset from UTC (ms) over the whole day; nothing when the clocks change.
    std::optional<std::int64_t> steadyOffsetMs;
    std::int64_t offsetAtStartMs = 0;  // before a change in the day
    std::int64_t offsetAtEndMs = 0;    // after it
};

// The instants the wall clock reads a time at on one day: none in the hour the clocks skip, two
// in the hour they repeat, in order.
struct WallInstants {
    std::int64_t ms[2] = {0, 0};
    int count = 0;
};

class LocalDays {
public:
    explicit LocalDays(MinuteOfDay dayStartsAt) : m_dayStartsAt(dayStartsAt) {}

    // The day named by the date of Julian day number `julianDay`.
    const LocalDay& Of(std::int64_t julianDay);
    // The day that `ms` lies in.
    const LocalDay& Containing(std::int64_t ms);

    // The wall clock's minute of the day at `ms`, which lies in `day`.
    static MinuteOfDay WallMinute(const LocalDay& day, std::int64_t ms);
    // When the wall clock reads `minute` within `day`; a minute before the day's start is on its
    // next date.
    WallInstants At(const LocalDay& day, MinuteOfDay minute) const;
    // The one instant of `minute` within `day`: the first of two, and in the hour the clocks skip
    // the moment they jump (02:30 is 03:00 after the change).
    std::int64_t FirstAt(const LocalDay& day, MinuteOfDay minute) const;

private:
    std::int64_t WallMs(const LocalDay& day, MinuteOfDay minute) const;

    MinuteOfDay m_dayStartsAt;
    std::unordered_map<std::int64_t, LocalDay> m_days;
    const LocalDay* m_last = nullptr;
};

// The instant the wall clock reads the local `date` and `minute`, as LocalDays::FirstAt takes it.
std::int64_t LocalInstant(const QDate& date, MinuteOfDay minute);
