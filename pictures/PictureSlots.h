#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The arithmetic of the pictures made from a run of frames, without reading any: time slotCount,
// the frame that stands for each, the gaps between them, the dark frames of a night and the hour
// ticks of a time axis. Times are milliseconds since the epoch.

// The time between frames that a run was taken at: the median of the intervals between `times`
// (ascending), at least a second; a second when there are fewer than two.
std::int64_t MedianInterval(const std::vector<std::int64_t>& times);

// Slots `interval` apart from `first`: the index of the slot nearest `time`.
int SlotOf(std::int64_t time, std::int64_t first, std::int64_t interval);

// Where a keogram's column comes from: a frame's strip, a blend of the strips on either side of a
// short gap, or mid-grey for a long one.
struct ColumnSource {
    int left = -1;      // the slot whose strip it takes (or blends from); -1: mid-grey
    int right = -1;     // the slot it blends toward; -1: `left` alone
    double weight = 0;  // of `right`, 0 to 1
};

// The longest gap, in slotCount, that a keogram fills from its neighbours.
inline constexpr int kLongestFilledGap = 3;

// The source of each column of a keogram whose slotCount `filled` say which have a frame: a gap of
// up to kLongestFilledGap slotCount blends its neighbours (or repeats the one it has at either
// end), a longer one is mid-grey.
std::vector<ColumnSource> KeogramColumns(const std::vector<bool>& filled);

// One slot of a contact sheet: [start, end).
struct TimeSlot {
    std::int64_t start = 0;
    std::int64_t end = 0;

    std::int64_t Middle() const { return start + (end - start) / 2; }
};

// The slotCount of a contact sheet of frames taken from `first` to `last`: with `tiles` above 0
// that many equal slotCount, the last ending just after `last`; with 0, one per local hour (TZ)
// from the hour of `first` to that of `last`.
std::vector<TimeSlot> SheetSlots(std::int64_t first, std::int64_t last, int tiles);

// The indexes of `times` that fall in `slot`, nearest its middle first.
std::vector<int> NearestToMiddle(const std::vector<std::int64_t>& times, const TimeSlot& slot);

// Star trails take the dark frames of a night: a mean luma at most kDarkestLimitLuma and at most
// the night's median plus three times its robust spread (1.4826 times the median absolute
// deviation, or 2 when it is less), so that a moonlit night still counts; and at most
// kMostBrightShare of the pixels above kBrightPixel, so that a frame lit by a car or the dawn does
// not.
inline constexpr double kDarkestLimitLuma = 0.35 * 255;
inline constexpr double kBrightPixel = 190;
inline constexpr double kMostBrightShare = 0.01;

// The highest mean luma a dark frame may have, given the means of the night's frames.
double DarkLimit(std::vector<double> means);

// A mark on a keogram's time axis: at each local hour (TZ), labelled with the hour, or with the
// date at midnight; where hours are only a column or two apart, at midnight alone.
struct TimeTick {
    int x = 0;  // the column
    bool midnight = false;
    bool labelled = false;  // whether there is room for its label
    std::string label;      // "06", or "2026-03-29" at midnight
};

// The ticks of `slotCount` columns from `first`, `interval` apart. A label, `widthOf` columns wide
// from its tick, is given only where it meets no other: the dates first, then the hours.
std::vector<TimeTick> HourTicks(std::int64_t first, std::int64_t interval, int slotCount,
                                const std::function<int(const std::string&)>& widthOf);
