#include "timeline/LocalDays.h"

#include <algorithm>

#include "platform/TimeZone.h"

namespace {

constexpr std::int64_t kMsPerMinute = 60'000;
constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr std::int64_t kJulianDayAtEpoch = 2'440'588;  // 1970-01-01
// The days Containing moves from the wall clock's date: a zone's largest change of clocks is a day.
constexpr int kMostDaySteps = 2;

std::int64_t FloorDiv(std::int64_t value, std::int64_t divisor) {
    return value / divisor - (value % divisor < 0 ? 1 : 0);
}

// A wall clock's reading as ms since the epoch, as if it were UTC.
std::int64_t WallMsOf(std::int64_t julianDay, MinuteOfDay minute) {
    return (julianDay - kJulianDayAtEpoch) * kMsPerDay + minute * kMsPerMinute;
}

// The instants at which the wall clock reads `wallMs` with one of the two offsets, in order.
WallInstants InstantsOf(std::int64_t wallMs, std::int64_t offsetA, std::int64_t offsetB) {
    WallInstants instants;
    for (const std::int64_t offset : {std::max(offsetA, offsetB), std::min(offsetA, offsetB)}) {
        const std::int64_t ms = wallMs - offset;
        const bool repeated = instants.count > 0 && instants.ms[0] == ms;
        if (LocalOffsetMs(ms) == offset && !repeated) {
            instants.ms[instants.count++] = ms;
        }
    }
    return instants;
}

// The first instant the wall clock reads `wallMs`; in a time the clocks skip, the moment they jump,
// as the capture hours open then.
std::int64_t FirstInstant(std::int64_t wallMs, std::int64_t offsetBefore,
                          std::int64_t offsetAfter) {
    const WallInstants instants = InstantsOf(wallMs, offsetBefore, offsetAfter);
    if (instants.count > 0) {
        return instants.ms[0];
    }
    // Skipped: the clock read less before the jump and more after it.
    return offsetAfter > offsetBefore
               ? FirstOffsetChange(wallMs - offsetAfter, wallMs - offsetBefore)
               : wallMs - offsetBefore;
}

// FirstInstant with the offsets a day either side: no zone changes its clocks twice in a day.
std::int64_t FirstInstant(std::int64_t wallMs) {
    const std::int64_t guess = wallMs - LocalOffsetMs(wallMs);
    return FirstInstant(wallMs, LocalOffsetMs(guess - kMsPerDay), LocalOffsetMs(guess + kMsPerDay));
}

}  // namespace

const LocalDay& LocalDays::Of(std::int64_t julianDay) {
    const auto found = m_days.find(julianDay);
    if (found != m_days.end()) {
        return found->second;
    }
    LocalDay day;
    day.julianDay = julianDay;
    day.startMs = FirstInstant(WallMsOf(julianDay, m_dayStartsAt));
    day.endMs = FirstInstant(WallMsOf(julianDay + 1, m_dayStartsAt));
    day.offsetAtStartMs = LocalOffsetMs(day.startMs);
    day.offsetAtEndMs = LocalOffsetMs(day.endMs - 1);
    if (day.offsetAtStartMs == day.offsetAtEndMs) {
        day.steadyOffsetMs = day.offsetAtStartMs;
    }
    return m_days.emplace(julianDay, day).first->second;
}

const LocalDay& LocalDays::Containing(std::int64_t ms) {
    if (m_last != nullptr && ms >= m_last->startMs && ms < m_last->endMs) {
        return *m_last;
    }
    const std::int64_t wallMs = ms + LocalOffsetMs(ms) - m_dayStartsAt * kMsPerMinute;
    const LocalDay* day = &Of(FloorDiv(wallMs, kMsPerDay) + kJulianDayAtEpoch);
    // In an hour the clocks repeat, the wall clock alone may name the day before or after; a step
    // or two at most, whatever the zone's offsets.
    for (int step = 0; step < kMostDaySteps && ms < day->startMs; ++step) {
        day = &Of(day->julianDay - 1);
    }
    for (int step = 0; step < kMostDaySteps && ms >= day->endMs; ++step) {
        day = &Of(day->julianDay + 1);
    }
    m_last = day;
    return *day;
}

MinuteOfDay LocalDays::WallMinute(const LocalDay& day, std::int64_t ms) {
    const std::int64_t offset = day.steadyOffsetMs ? *day.steadyOffsetMs : LocalOffsetMs(ms);
    const std::int64_t wallMs = ms + offset;
    return static_cast<MinuteOfDay>((wallMs - FloorDiv(wallMs, kMsPerDay) * kMsPerDay) /
                                    kMsPerMinute);
}

std::int64_t LocalDays::WallMs(const LocalDay& day, MinuteOfDay minute) const {
    return WallMsOf(day.julianDay + (minute < m_dayStartsAt ? 1 : 0), minute);
}

WallInstants LocalDays::At(const LocalDay& day, MinuteOfDay minute) const {
    if (day.steadyOffsetMs) {
        return {{WallMs(day, minute) - *day.steadyOffsetMs, 0}, 1};
    }
    return InstantsOf(WallMs(day, minute), day.offsetAtStartMs, day.offsetAtEndMs);
}

std::int64_t LocalDays::FirstAt(const LocalDay& day, MinuteOfDay minute) const {
    if (day.steadyOffsetMs) {
        return WallMs(day, minute) - *day.steadyOffsetMs;
    }
    return FirstInstant(WallMs(day, minute), day.offsetAtStartMs, day.offsetAtEndMs);
}

std::int64_t LocalInstant(const QDate& date, MinuteOfDay minute) {
    return FirstInstant(WallMsOf(date.toJulianDay(), minute));
}
