#include "timeline/FrameChoice.h"

#include <QDateTime>
#include <algorithm>
#include <limits>

#include "schedule/SunTimes.h"
#include "timeline/LocalDays.h"

namespace {

constexpr std::int64_t kMsPerMinute = 60'000;
constexpr int kMinutesPerDay = 1440;

// A candidate that is still in the choice: its instant and its place among the candidates.
struct Placed {
    std::int64_t ms;
    int index;
};

bool EarlierThan(const Placed& a, const Placed& b) {
    return a.ms != b.ms ? a.ms < b.ms : a.index < b.index;
}

// The instants [start, end) that --from and --to leave.
struct Span {
    std::int64_t start = std::numeric_limits<std::int64_t>::min();
    std::int64_t end = std::numeric_limits<std::int64_t>::max();
};

// A date alone stands for its whole day, the project's day as --day takes it; a time for its
// whole minute, so that --to 12:00 keeps the frame taken at 12:00:03.
Span SpanOf(const FrameChoice& choice, LocalDays& days) {
    Span span;
    if (const auto& from = choice.from) {
        span.start = from->time ? LocalInstant(from->date, *from->time)
                                : days.Of(from->date.toJulianDay()).startMs;
    }
    if (const auto& to = choice.to) {
        span.end = to->time ? LocalInstant(to->date, *to->time) + kMsPerMinute
                            : days.Of(to->date.toJulianDay()).endMs;
    }
    return span;
}

bool InHours(MinuteOfDay minute, const std::pair<MinuteOfDay, MinuteOfDay>& hours) {
    const auto [start, end] = hours;
    return start < end ? minute >= start && minute < end : minute >= start || minute < end;
}

// The candidates the filters keep, in time order.
std::vector<Placed> Filtered(const std::vector<TimedFrame>& candidates, const FrameChoice& choice,
                             LocalDays& days) {
    const Span span = SpanOf(choice, days);
    std::vector<Placed> kept;
    kept.reserve(candidates.size());
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const std::int64_t ms = candidates[i].time.ms;
        if (ms < span.start || ms >= span.end) {
            continue;
        }
        if (choice.day || choice.between) {
            const LocalDay& day = days.Containing(ms);
            if ((choice.day && day.julianDay != choice.day->toJulianDay()) ||
                (choice.between && !InHours(LocalDays::WallMinute(day, ms), *choice.between))) {
                continue;
            }
        }
        kept.push_back({ms, static_cast<int>(i)});
    }
    std::sort(kept.begin(), kept.end(), EarlierThan);
    return kept;
}

// The days that `byTime` (in time order) has frames on, in order.
std::vector<std::int64_t> DaysOf(const std::vector<Placed>& byTime, LocalDays& days) {
    std::vector<std::int64_t> julianDays;
    for (const Placed& frame : byTime) {
        const std::int64_t julianDay = days.Containing(frame.ms).julianDay;
        if (julianDays.empty() || julianDays.back() != julianDay) {
            julianDays.push_back(julianDay);
        }
    }
    return julianDays;
}

// Picks from frames in time order, each at most once.
class Picker {
public:
    explicit Picker(const std::vector<Placed>& byTime)
        : m_byTime(byTime), m_taken(byTime.size(), 0) {}

    // Takes the frame nearest `target` within `reachMs` that is not taken yet (the earlier of two
    // as near); false when there is none.
    bool Take(std::int64_t target, std::int64_t reachMs) {
        const auto after =
            std::lower_bound(m_byTime.begin(), m_byTime.end(), target,
                             [](const Placed& frame, std::int64_t ms) { return frame.ms < ms; });
        const std::ptrdiff_t first = after - m_byTime.begin();
        std::ptrdiff_t best = -1;
        for (std::ptrdiff_t i = first - 1; i >= 0 && target - m_byTime[i].ms <= reachMs; --i) {
            if (!m_taken[i]) {
                best = i;
                break;
            }
        }
        const std::ptrdiff_t size = static_cast<std::ptrdiff_t>(m_byTime.size());
        for (std::ptrdiff_t i = first; i < size && m_byTime[i].ms - target <= reachMs; ++i) {
            if (!m_taken[i]) {
                if (best < 0 || m_byTime[i].ms - target < target - m_byTime[best].ms) {
                    best = i;
                }
                break;
            }
        }
        if (best < 0) {
            return false;
        }
        m_taken[best] = 1;
        m_picked.push_back(m_byTime[best]);
        return true;
    }

    // The frames taken, in time order.
    std::vector<Placed> Picked() {
        std::sort(m_picked.begin(), m_picked.end(), EarlierThan);
        return std::move(m_picked);
    }

private:
    const std::vector<Placed>& m_byTime;
    std::vector<char> m_taken;
    std::vector<Placed> m_picked;
};

// The frame nearest each slot, within half the interval; a slot the clocks skip has none, one they
// repeat comes twice.
std::vector<Placed> PickEvery(const std::vector<Placed>& byTime, int everyMinutes,
                              LocalDays& days) {
    const std::int64_t reachMs = everyMinutes * kMsPerMinute / 2;
    Picker picker(byTime);
    for (const std::int64_t julianDay : DaysOf(byTime, days)) {
        const LocalDay& day = days.Of(julianDay);
        // Slots anchored at midnight, not at the day's start.
        for (MinuteOfDay minute = 0; minute < kMinutesPerDay; minute += everyMinutes) {
            const WallInstants instants = days.At(day, minute);
            for (int i = 0; i < instants.count; ++i) {
                picker.Take(instants.ms[i], reachMs);
            }
        }
    }
    return picker.Picked();
}

// The solar noon that falls within `day`.
std::int64_t SolarNoonIn(const LocalDay& day, double longitude) {
    const QDate date = QDate::fromJulianDay(day.julianDay);
    const std::int64_t noon = SolarNoonMs(date, longitude);
    if (noon < day.startMs) {
        return SolarNoonMs(date.addDays(1), longitude);
    }
    return noon >= day.endMs ? SolarNoonMs(date.addDays(-1), longitude) : noon;
}

// The frame nearest each daily time (or solar noon) of each day, within the tolerance; the days
// where a time has none go into `missed`.
std::vector<Placed> PickDaily(const std::vector<Placed>& byTime, const FrameChoice& choice,
                              const DayRules& rules, LocalDays& days, std::vector<QDate>& missed) {
    const std::int64_t reachMs = choice.toleranceMinutes * kMsPerMinute;
    Picker picker(byTime);
    for (const std::int64_t julianDay : DaysOf(byTime, days)) {
        const LocalDay& day = days.Of(julianDay);
        bool every = true;
        for (const MinuteOfDay minute : choice.dailyAt) {
            every = picker.Take(days.FirstAt(day, minute), reachMs) && every;
        }
        if (choice.dailyAtSolarNoon) {
            every = picker.Take(SolarNoonIn(day, rules.longitude), reachMs) && every;
        }
        if (!every) {
            missed.push_back(QDate::fromJulianDay(julianDay));
        }
    }
    return picker.Picked();
}

}  // namespace

bool FrameChoice::Any() const {
    return day || from || to || between || !dailyAt.empty() || dailyAtSolarNoon || everyMinutes > 0;
}

ChosenFrames ChooseFrames(const std::vector<TimedFrame>& candidates, const FrameChoice& choice,
                          const DayRules& rules) {
    ChosenFrames chosen;
    chosen.candidates = static_cast<int>(candidates.size());
    LocalDays days(rules.dayStartsAt);
    std::vector<Placed> kept = Filtered(candidates, choice, days);
    if (choice.everyMinutes > 0) {
        kept = PickEvery(kept, choice.everyMinutes, days);
    }
    if (!choice.dailyAt.empty() || choice.dailyAtSolarNoon) {
        kept = PickDaily(kept, choice, rules, days, chosen.daysWithoutDailyFrame);
    }
    std::sort(kept.begin(), kept.end(),
              [](const Placed& a, const Placed& b) { return a.index < b.index; });
    chosen.frames.reserve(kept.size());
    for (const Placed& frame : kept) {
        chosen.frames.push_back(candidates[frame.index]);
    }
    return chosen;
}

std::vector<int> ChosenFrames::Numbers() const {
    std::vector<int> numbers;
    numbers.reserve(frames.size());
    for (const TimedFrame& frame : frames) {
        numbers.push_back(frame.number);
    }
    return numbers;
}

QDate ProjectToday(const DayRules& rules, const QDateTime& now) {
    // By the wall clock, as a day's start is.
    const MinuteOfDay minute = now.time().hour() * 60 + now.time().minute();
    return minute < rules.dayStartsAt ? now.date().addDays(-1) : now.date();
}

std::map<QDate, std::vector<int>> FramesByDay(const std::vector<TimedFrame>& frames,
                                              const DayRules& rules) {
    LocalDays days(rules.dayStartsAt);
    std::map<QDate, std::vector<int>> byDay;
    for (const TimedFrame& frame : frames) {
        byDay[QDate::fromJulianDay(days.Containing(frame.time.ms).julianDay)].push_back(
            frame.number);
    }
    return byDay;
}

ChosenFrames ChooseFolderFrames(const std::string& frameDir, const std::vector<int>& numbers,
                                const FrameChoice& choice, const DayRules& rules,
                                std::string& notice) {
    const FrameTimes times = ReadFrameTimes(frameDir, numbers);
    notice = FileTimesNotice(times);
    return ChooseFrames(times.frames, choice, rules);
}
