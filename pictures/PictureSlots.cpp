#include "pictures/PictureSlots.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>

#include "platform/TimeZone.h"

namespace {

constexpr std::int64_t kMsPerSecond = 1000;
constexpr std::int64_t kMsPerHour = 3'600'000;
// No zone changes its clocks more often.
constexpr int kMostChangesInAnHour = 2;
constexpr double kRobustSpreadScale = 1.4826;  // a normal spread's sigma from its MAD
constexpr double kSpreadsAboveMedian = 3;
// A night of still frames has next to no spread, which would leave out half of them: a JPEG's own
// noise is the least spread a night has.
constexpr double kLeastSpread = 2;
// Hours closer than this many columns would blacken the axis: only midnights get a tick.
constexpr std::int64_t kFewestColumnsPerHour = 3;

double Median(std::vector<double> values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    if (values.size() % 2 == 1) {
        return *middle;
    }
    return (*middle + *std::max_element(values.begin(), middle)) / 2;
}

std::int64_t FloorTo(std::int64_t value, std::int64_t step) {
    return value - ((value % step) + step) % step;
}

QDateTime Local(std::int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms);
}

// The instant at or before `ms` at which the local clock, at the offset of `ms`, read a whole hour.
std::int64_t WholeHourAtOrBefore(std::int64_t ms) {
    const std::int64_t wall = ms + LocalOffsetMs(ms);
    return ms - (wall - FloorTo(wall, kMsPerHour));
}

bool ReadsWholeHour(std::int64_t ms) {
    return WholeHourAtOrBefore(ms) == ms;
}

// Local hours start at the instants the local clock reads a whole hour, whatever its offset (one
// with seconds too, as Europe/Berlin's before 1893): an hour the clocks repeat is an hour of its
// own, and a change to a half hour starts none. The last such instant at or before `ms`.
std::int64_t HourStart(std::int64_t ms) {
    std::int64_t start = WholeHourAtOrBefore(ms);
    // The clocks changed since, to another time than a whole hour: the hour began before.
    for (int change = 0; change < kMostChangesInAnHour && LocalOffsetMs(start) != LocalOffsetMs(ms);
         ++change) {
        ms = FirstOffsetChange(start, ms) - 1;
        start = WholeHourAtOrBefore(ms);
    }
    return start;
}

// The first instant after `after` at which a local hour starts.
std::int64_t NextHourStart(std::int64_t after) {
    std::int64_t end = WholeHourAtOrBefore(after) + kMsPerHour;
    for (int change = 0;
         change < kMostChangesInAnHour && LocalOffsetMs(end) != LocalOffsetMs(after); ++change) {
        const std::int64_t jump = FirstOffsetChange(after, end);
        if (ReadsWholeHour(jump)) {
            return jump;
        }
        after = jump;
        end = WholeHourAtOrBefore(jump) + kMsPerHour;
    }
    return end;
}

// Whether a label over columns [x, x + width) meets one of `taken`.
bool Overlaps(const std::vector<std::pair<int, int>>& taken, int x, int width) {
    return std::any_of(taken.begin(), taken.end(),
                       [&](const auto& span) { return x < span.second && span.first < x + width; });
}

}  // namespace

std::int64_t MedianInterval(const std::vector<std::int64_t>& times) {
    if (times.size() < 2) {
        return kMsPerSecond;
    }
    std::vector<double> intervals(times.size() - 1);
    for (std::size_t i = 1; i < times.size(); ++i) {
        intervals[i - 1] = static_cast<double>(times[i] - times[i - 1]);
    }
    return std::max(kMsPerSecond, static_cast<std::int64_t>(std::llround(Median(intervals))));
}

int SlotOf(std::int64_t time, std::int64_t first, std::int64_t interval) {
    return static_cast<int>(std::llround(static_cast<double>(time - first) / interval));
}

std::vector<ColumnSource> KeogramColumns(const std::vector<bool>& filled) {
    const int count = static_cast<int>(filled.size());
    std::vector<ColumnSource> columns(filled.size());
    for (int slot = 0; slot < count;) {
        if (filled[slot]) {
            columns[slot].left = slot;
            ++slot;
            continue;
        }
        int end = slot;
        while (end < count && !filled[end]) {
            ++end;
        }
        const int left = slot - 1;  // -1 at the start
        const int right = end < count ? end : -1;
        if (end - slot <= kLongestFilledGap && (left >= 0 || right >= 0)) {
            for (int gap = slot; gap < end; ++gap) {
                if (left < 0 || right < 0) {
                    columns[gap].left = std::max(left, right);
                } else {
                    columns[gap] = {left, right, static_cast<double>(gap - left) / (right - left)};
                }
            }
        }
        slot = end;
    }
    return columns;
}

std::vector<TimeSlot> SheetSlots(std::int64_t first, std::int64_t last, int tiles) {
    std::vector<TimeSlot> sheet;
    if (tiles > 0) {
        const std::int64_t span = last + 1 - first;
        for (int i = 0; i < tiles; ++i) {
            sheet.push_back({first + span * i / tiles, first + span * (i + 1) / tiles});
        }
        return sheet;
    }
    for (std::int64_t start = HourStart(first); start <= last;) {
        const std::int64_t end = NextHourStart(start);
        sheet.push_back({start, end});
        start = end;
    }
    return sheet;
}

std::vector<int> NearestToMiddle(const std::vector<std::int64_t>& times, const TimeSlot& slot) {
    std::vector<int> inside;
    for (int i = 0; i < static_cast<int>(times.size()); ++i) {
        if (times[i] >= slot.start && times[i] < slot.end) {
            inside.push_back(i);
        }
    }
    const auto distance = [&](int i) { return std::llabs(times[i] - slot.Middle()); };
    std::stable_sort(inside.begin(), inside.end(),
                     [&](int a, int b) { return distance(a) < distance(b); });
    return inside;
}

double DarkLimit(std::vector<double> means) {
    if (means.empty()) {
        return kDarkestLimitLuma;
    }
    const double median = Median(means);
    for (double& mean : means) {
        mean = std::abs(mean - median);
    }
    const double spread = std::max(kLeastSpread, kRobustSpreadScale * Median(means));
    return std::min(kDarkestLimitLuma, median + kSpreadsAboveMedian * spread);
}

std::vector<TimeTick> HourTicks(std::int64_t first, std::int64_t interval, int slotCount,
                                const std::function<int(const std::string&)>& widthOf) {
    std::vector<TimeTick> ticks;
    const bool hours = kMsPerHour / interval >= kFewestColumnsPerHour;
    const std::int64_t last = first + interval * (slotCount - 1);
    for (std::int64_t ms = HourStart(first); ms <= last + interval / 2; ms = NextHourStart(ms)) {
        const QDateTime local = Local(ms);
        const int x = SlotOf(ms, first, interval);
        if (x < 0 || x >= slotCount) {
            continue;
        }
        // Where a clock goes back, the hour comes twice: one tick for each column.
        if (!ticks.empty() && ticks.back().x == x) {
            continue;
        }
        const bool midnight = local.time().hour() == 0;
        if (!midnight && !hours) {
            continue;
        }
        ticks.push_back({x, midnight, false,
                         (midnight ? local.date().toString(Qt::ISODate)
                                   : local.time().toString(QStringLiteral("HH")))
                             .toStdString()});
    }
    std::vector<std::pair<int, int>> taken;
    for (const bool dates : {true, false}) {
        for (TimeTick& tick : ticks) {
            const int width = widthOf(tick.label);
            if (tick.midnight == dates && tick.x + width <= slotCount &&
                !Overlaps(taken, tick.x, width)) {
                tick.labelled = true;
                taken.emplace_back(tick.x, tick.x + width);
            }
        }
    }
    return ticks;
}
