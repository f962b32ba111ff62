#include "serve/Watcher.h"

#include <utility>

#include "platform/Tell.h"
#include "platform/TimeZone.h"
#include "schedule/SunTimes.h"

namespace {

constexpr std::int64_t kHourMs = 60LL * 60 * 1000;

// Whether the sun stood above the horizon all of the last hour, judged at its two ends.
bool SunUpAllHour(const CaptureSchedule& schedule, std::int64_t nowMs) {
    return SunAltitude(nowMs - kHourMs, schedule.Latitude(), schedule.Longitude()) > 0 &&
           SunAltitude(nowMs, schedule.Latitude(), schedule.Longitude()) > 0;
}

}  // namespace

Watcher::Watcher(FolderStatus& status, WatcherInputs inputs)
    : m_status(status),
      m_inputs(std::move(inputs)),
      m_hooks([](const std::string& failure) { TellLine(failure); }, kTroubleEventsWaiting) {}

void Watcher::Look(const QDateTime& now, const std::optional<Attempt>& lastCapture,
                   const std::optional<Attempt>& lastDailyRun) {
    m_status.Refresh(now);
    TroubleFacts facts = m_status.Facts();
    facts.nowMs = now.toMSecsSinceEpoch();
    const CaptureSchedule& schedule = m_inputs.schedule;
    facts.scheduleOpen = schedule.IsOpen(now);
    if (const std::optional<QDateTime> opened = schedule.OpenedAt(now)) {
        facts.openedMs = opened->toMSecsSinceEpoch();
    }
    facts.lastCapture = lastCapture;
    facts.lastDailyRun = lastDailyRun;
    facts.dailyVideosInUse = facts.dailyVideosInUse || lastDailyRun.has_value();
    facts.minFreeMb = m_inputs.minFreeMb;
    facts.alertDaysLeft = m_inputs.alertDaysLeft;
    // Without a place, a dark sky may be the night the camera was set up to watch.
    facts.daylight = m_inputs.placeGiven && SunUpAllHour(schedule, facts.nowMs);
    for (const TroubleEvent& event : m_book.Look(facts)) {
        Tell(event);
    }
    m_status.SetTroubles(m_book.Current());
}

void Watcher::Tell(const TroubleEvent& event) {
    const Trouble& trouble = event.trouble;
    const std::string code = TroubleWord(trouble.code);
    TellLine(event.resolved ? "resolved: " + code + " (since " + LocalIsoTime(trouble.sinceMs) + ")"
                            : "trouble: " + code + ": " + trouble.message);
    HookFile file;
    file.dir = m_inputs.frameDir;
    file.trouble = HookTrouble{event.resolved, code, trouble.message, trouble.sinceMs};
    if (!m_hooks.Post(m_inputs.troubleHook, std::move(file))) {
        TellLine(m_inputs.troubleHook.name + ": " + std::to_string(kTroubleEventsWaiting) +
                 " events wait for the hook; the oldest of them is dropped");
    }
}
