#include "serve/Troubles.h"

#include <QDateTime>
#include <algorithm>

#include "res/ExitCodes.h"
#include "schedule/CaptureSchedule.h"

namespace {

constexpr std::int64_t kSecondMs = 1000;
constexpr std::int64_t kMinuteMs = 60 * kSecondMs;
constexpr std::int64_t kHourMs = 60 * kMinuteMs;
constexpr double kMegabyte = 1024.0 * 1024.0;

std::string Count(std::int64_t count, const char* unit) {
    return std::to_string(count) + " " + unit + (count == 1 ? "" : "s");
}

// A span in the largest unit that still shows it well: "40 seconds", "14 minutes", "5 hours".
std::string Span(std::int64_t ms) {
    if (ms < kMinuteMs) {
        return Count(std::max<std::int64_t>(ms / kSecondMs, 1), "second");
    }
    if (ms < 2 * kHourMs) {
        return Count((ms + kMinuteMs / 2) / kMinuteMs, "minute");
    }
    if (ms < 48 * kHourMs) {
        return Count((ms + kHourMs / 2) / kHourMs, "hour");
    }
    return Count((ms + 12 * kHourMs) / (24 * kHourMs), "day");
}

// "09:12", or "2026-03-29 09:12" when it is not the day of `nowMs`.
std::string Clock(std::int64_t ms, std::int64_t nowMs) {
    return ShownTime(QDateTime::fromMSecsSinceEpoch(ms),
                     QDateTime::fromMSecsSinceEpoch(nowMs).date());
}

std::string Megabytes(std::uint64_t bytes) {
    return std::to_string(static_cast<std::uint64_t>(static_cast<double>(bytes) / kMegabyte)) +
           " MB";
}

bool Has(const std::vector<TroubleCode>& raised, TroubleCode code) {
    return std::ranges::find(raised, code) != raised.end();
}

std::optional<Trouble> Stalled(const TroubleFacts& facts) {
    if (!facts.scheduleOpen || facts.frames < kFramesBeforeStall || !facts.lastFrameMs ||
        !facts.intervalMs) {
        return std::nullopt;
    }
    // A schedule that opened after the last frame gives the capture its time from the opening.
    const std::int64_t threshold = StallThresholdMs(*facts.intervalMs);
    const std::int64_t from = std::max(*facts.lastFrameMs, facts.openedMs.value_or(0));
    if (facts.nowMs < from + threshold) {
        return std::nullopt;
    }
    return Trouble{TroubleCode::Stalled,
                   "No new frame for " + Span(facts.nowMs - *facts.lastFrameMs) +
                       " while the schedule is open: the last came at " +
                       Clock(*facts.lastFrameMs, facts.nowMs) + ", about every " +
                       Span(*facts.intervalMs) + " before.",
                   from + threshold};
}

// Every failed capture but the two that refuse on purpose: outside the schedule, and below the
// free space floor (which the disk trouble tells).
std::optional<Trouble> Camera(const TroubleFacts& facts) {
    const std::optional<Attempt>& attempt = facts.lastCapture;
    if (!attempt || attempt->exitCode == 0 ||
        attempt->exitCode == ToInt(ExitCode::OutsideSchedule) ||
        attempt->exitCode == ToInt(ExitCode::LowFreeSpace) ||
        (facts.lastFrameMs && *facts.lastFrameMs > attempt->timeMs)) {
        return std::nullopt;
    }
    return Trouble{TroubleCode::Camera,
                   "The capture at " + Clock(attempt->timeMs, facts.nowMs) +
                       " saved no frame (exit code " + std::to_string(attempt->exitCode) +
                       "): " + attempt->message,
                   attempt->timeMs};
}

std::optional<Trouble> Disk(const TroubleFacts& facts, bool raised) {
    if (!facts.freeBytes) {
        return std::nullopt;
    }
    const double free = static_cast<double>(*facts.freeBytes);
    std::string message;
    const double floorBytes = facts.minFreeMb * kMegabyte;
    if (facts.minFreeMb > 0 && free < floorBytes * (raised ? kDiskResolve : kDiskRaise)) {
        message = "Only " + Megabytes(*facts.freeBytes) + " free, under twice MIN_FREE_MB (" +
                  std::to_string(facts.minFreeMb) + " MB), below which no frame is taken.";
    }
    if (facts.alertDaysLeft > 0 && facts.bytesLastDay > 0) {
        const double days = free / static_cast<double>(facts.bytesLastDay);
        if (days < facts.alertDaysLeft * (raised ? kDaysResolve : 1.0)) {
            message += (message.empty() ? "" : " ") + std::string("The free space (") +
                       Megabytes(*facts.freeBytes) + ") lasts about " +
                       QString::number(days, 'f', 1).toStdString() +
                       " days at the pace of the last 24 hours.";
        }
    }
    if (message.empty()) {
        return std::nullopt;
    }
    return Trouble{TroubleCode::Disk, message, facts.nowMs};
}

std::optional<Trouble> Daily(const TroubleFacts& facts) {
    const std::optional<Attempt>& run = facts.lastDailyRun;
    if (run && run->exitCode != 0 && run->exitCode != ToInt(ExitCode::DailyRunBusy)) {
        return Trouble{TroubleCode::Daily,
                       "The daily videos run at " + Clock(run->timeMs, facts.nowMs) +
                           " failed (exit code " + std::to_string(run->exitCode) +
                           "): " + run->message,
                       run->timeMs};
    }
    const std::optional<ClosedDay>& day = facts.lastClosedDay;
    if (!facts.dailyVideosInUse || !day || day->hasVideo ||
        facts.nowMs < day->endMs + kDailyGraceMs) {
        return std::nullopt;
    }
    return Trouble{TroubleCode::Daily,
                   "The day " + day->date.toString(Qt::ISODate).toStdString() +
                       " has frames but still no video in days/, " +
                       Span(facts.nowMs - day->endMs) + " after it closed.",
                   day->endMs + kDailyGraceMs};
}

// A night sky is dark on purpose: only while the sun is up.
std::optional<Trouble> Dark(const TroubleFacts& facts, bool raised) {
    if (!facts.daylight || facts.hourFrames <= 0 || (!raised && facts.hourFrames < kDarkFewest)) {
        return std::nullopt;
    }
    const double share = static_cast<double>(facts.hourDark) / facts.hourFrames;
    if (raised ? share < kDarkResolve : share <= kDarkRaise) {
        return std::nullopt;
    }
    return Trouble{TroubleCode::Dark,
                   std::to_string(facts.hourDark) + " of the last hour's " +
                       Count(facts.hourFrames, "frame") +
                       " are nearly black or nearly white while the sun is up.",
                   facts.nowMs};
}

}  // namespace

const char* TroubleWord(TroubleCode code) {
    switch (code) {
        case TroubleCode::Stalled:
            return "stalled";
        case TroubleCode::Camera:
            return "camera";
        case TroubleCode::Disk:
            return "disk";
        case TroubleCode::Daily:
            return "daily";
        case TroubleCode::Dark:
            return "dark";
    }
    return "";
}

std::int64_t StallThresholdMs(std::int64_t intervalMs) {
    return std::max(kStallIntervals * intervalMs, kStallFloorMs);
}

std::vector<Trouble> JudgeTroubles(const TroubleFacts& facts,
                                   const std::vector<TroubleCode>& raised) {
    std::vector<Trouble> troubles;
    for (const std::optional<Trouble>& trouble :
         {Stalled(facts), Camera(facts), Disk(facts, Has(raised, TroubleCode::Disk)), Daily(facts),
          Dark(facts, Has(raised, TroubleCode::Dark))}) {
        if (trouble) {
            troubles.push_back(*trouble);
        }
    }
    return troubles;
}

std::vector<TroubleEvent> TroubleBook::Look(const TroubleFacts& facts) {
    std::vector<TroubleCode> raisedCodes;
    for (const Trouble& trouble : m_raised) {
        raisedCodes.push_back(trouble.code);
    }
    std::vector<Trouble> now = JudgeTroubles(facts, raisedCodes);
    std::vector<TroubleEvent> events;
    for (const Trouble& old : m_raised) {
        if (std::ranges::none_of(now, [&](const Trouble& t) { return t.code == old.code; })) {
            events.push_back({true, old});
        }
    }
    for (Trouble& trouble : now) {
        const auto known = std::ranges::find(m_raised, trouble.code, &Trouble::code);
        if (known == m_raised.end()) {
            events.push_back({false, trouble});
        } else {
            trouble.sinceMs = known->sinceMs;
        }
    }
    m_raised = std::move(now);
    return events;
}
