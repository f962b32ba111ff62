#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/Clock.h"

// A clock that moves only when told to: by Advance, or by Sleep, which returns at once after moving
// the clock, so loops that sleep run in simulated time. Every member is safe to call from any
// thread.
class ManualClock final : public Clock {
public:
    ManualClock();
    static constexpr std::int64_t kFrequency = 1'000'000;  // one tick per microsecond

    std::int64_t Frequency() const override { return kFrequency; }
    std::int64_t Counter() const override { return m_ticks.load(); }
    // Advances the clock by `ms` (or by the amount set with SetSleepAdvance) and counts the call.
    void Sleep(int ms) override;
    // As Sleep, unless `stop` is requested: then it returns false at once and the clock stays.
    // While sleeps are held, it waits (in real time) for the stop request or a release.
    bool SleepUnlessStopped(int ms, const std::stop_token& stop) override;
    // Makes SleepUnlessStopped wait until the stop request or ReleaseSleeps, as a long sleep does.
    void HoldSleeps();
    void ReleaseSleeps();

    // Moves the clock forward: Advance(250ms), Advance(2s).
    void Advance(std::chrono::microseconds duration);
    // Makes every later Sleep advance the clock by `duration`, whatever it was asked for.
    void SetSleepAdvance(std::chrono::microseconds duration);
    // Makes every later Sleep advance the clock by what it was asked for, as at the start.
    void SleepAsAsked() { m_sleepAdvance = kAsAsked; }
    // How many times Sleep was called.
    int SleepCount() const { return m_sleeps.load(); }
    // The wall clock moves with the counter, from the real time the clock was made at, or from
    // the time set here (milliseconds since the epoch) at the counter's current value.
    std::int64_t WallMs() const override;
    void SetWallMs(std::int64_t wallMs);

private:
    static constexpr std::int64_t kAsAsked = -1;

    std::atomic<std::int64_t> m_ticks{0};
    std::atomic<std::int64_t> m_sleepAdvance{kAsAsked};
    std::atomic<int> m_sleeps{0};
    // The wall time at counter 0.
    std::atomic<std::int64_t> m_wallAtZeroMs;
    std::mutex m_holdMutex;
    std::condition_variable_any m_holdChanged;
    bool m_held = false;  // guarded by m_holdMutex
};
