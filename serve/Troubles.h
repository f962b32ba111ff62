#pragma once

#include <QDate>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frames/AttemptRecord.h"

// What the watcher notices in the frame folder, judged from facts alone (no file, no clock), so
// that every edge is shown by a row of facts. Each trouble has two edges, one to raise it and a
// wider one to resolve it, so that a value hovering at an edge neither raises nor resolves it
// again and again.

enum class TroubleCode { Stalled, Camera, Disk, Daily, Dark };

// "stalled", "camera", "disk", "daily", "dark": VORN_TROUBLE and status.json's code.
const char* TroubleWord(TroubleCode code);

struct Trouble {
    TroubleCode code = TroubleCode::Stalled;
    std::string message;       // a sentence a person understands
    std::int64_t sinceMs = 0;  // when it began

    bool operator==(const Trouble&) const = default;
};

// The last day before today that has frames.
struct ClosedDay {
    QDate date;
    std::int64_t endMs = 0;  // when it closed
    bool hasVideo = false;   // days/ holds its video
};

// Everything the judge looks at, at one instant.
struct TroubleFacts {
    std::int64_t nowMs = 0;
    // The capture's schedule now, and when its current range opened (nothing when it is open all
    // day, or closed).
    bool scheduleOpen = true;
    std::optional<std::int64_t> openedMs;
    // The frames: how many there are, the newest one's time and the usual interval between them.
    int frames = 0;
    std::optional<std::int64_t> lastFrameMs;
    std::optional<std::int64_t> intervalMs;
    // The last capture attempt and the last daily run, when they were recorded.
    std::optional<Attempt> lastCapture;
    std::optional<Attempt> lastDailyRun;
    // Free space, the bytes of the frames of the last 24 hours, and the floors (0: off).
    std::optional<std::uint64_t> freeBytes;
    std::uint64_t bytesLastDay = 0;
    int minFreeMb = 0;
    int alertDaysLeft = 0;
    // Daily videos are in use: days/ holds one, or a daily run was recorded.
    bool dailyVideosInUse = false;
    std::optional<ClosedDay> lastClosedDay;
    // The frames judged in the last hour, those nearly black or nearly white among them, and
    // whether the sun was up all that hour (false without a place to reckon it at).
    int hourFrames = 0;
    int hourDark = 0;
    bool daylight = false;
};

// The edges, named so that the tests and the help say the same.
inline constexpr int kFramesBeforeStall = 3;  // fewer frames give no usual interval to judge by
inline constexpr std::int64_t kStallFloorMs = 2LL * 60 * 1000;
inline constexpr int kStallIntervals = 3;
inline constexpr double kDiskRaise = 2.0;  // times MIN_FREE_MB
inline constexpr double kDiskResolve = 2.2;
inline constexpr double kDaysResolve = 1.2;  // times ALERT_DAYS_LEFT
inline constexpr int kDarkFewest = 5;
inline constexpr double kDarkRaise = 0.5;  // more than this share of the hour's frames
inline constexpr double kDarkResolve = 0.3;
inline constexpr std::int64_t kDailyGraceMs = 12LL * 60 * 60 * 1000;  // after the day closed

// How long without a new frame makes a stall, given the usual interval.
std::int64_t StallThresholdMs(std::int64_t intervalMs);

// The troubles of `facts`, in the order of TroubleCode; `raised` are those already raised, which
// are judged by the edges that resolve them.
std::vector<Trouble> JudgeTroubles(const TroubleFacts& facts,
                                   const std::vector<TroubleCode>& raised);

// A trouble raised, or one that ended.
struct TroubleEvent {
    bool resolved = false;
    Trouble trouble;  // as last raised, for a resolved one

    bool operator==(const TroubleEvent&) const = default;
};

// The raised troubles between looks: each is raised once, when it starts, and resolved once,
// when it ends, keeping the `since` of its start.
class TroubleBook {
public:
    // Judges `facts` and gives what changed: resolved ones first, then raised ones.
    std::vector<TroubleEvent> Look(const TroubleFacts& facts);
    // The raised troubles, with their newest message.
    const std::vector<Trouble>& Current() const { return m_raised; }

private:
    std::vector<Trouble> m_raised;
};
