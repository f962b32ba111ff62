#pragma once

#include <QDateTime>
#include <optional>
#include <string>

#include "frames/AttemptRecord.h"
#include "hooks/Hook.h"
#include "schedule/CaptureSchedule.h"
#include "serve/FolderStatus.h"
#include "serve/Troubles.h"

// What the watcher reads from the settings, once at start.
struct WatcherInputs {
    std::string frameDir;  // ending with '/'
    CaptureSchedule schedule;
    bool placeGiven = false;  // the schedule's LATITUDE and LONGITUDE were given
    int minFreeMb = 0;
    int alertDaysLeft = 0;
    Hook troubleHook;  // ON_TROUBLE; none without a command
};

// The events ON_TROUBLE's queue keeps while a hook runs; once it is full, a new one takes the
// place of the oldest, which is told on standard error (the journal has every event anyway).
inline constexpr std::size_t kTroubleEventsWaiting = 64;

// `vorn --serve`'s look at the frame folder, once a second: the folder brought up to date, its
// troubles judged and handed to the status page, and each one raised or resolved told on
// standard error and to ON_TROUBLE, whose runs go on a thread of their own so that a hook that
// hangs never holds the look.
class Watcher {
public:
    Watcher(FolderStatus& status, WatcherInputs inputs);

    // One look at `now`, with the last capture attempt and daily run when they are recorded.
    void Look(const QDateTime& now, const std::optional<Attempt>& lastCapture,
              const std::optional<Attempt>& lastDailyRun);

private:
    void Tell(const TroubleEvent& event);

    FolderStatus& m_status;
    WatcherInputs m_inputs;
    TroubleBook m_book;
    HookQueue m_hooks;
};
