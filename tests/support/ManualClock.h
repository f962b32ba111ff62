#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "platform/Clock.h"

// A clock that moves only when told to: by Advance, or by Sleep, which returns at once after moving
// the clock, so loops that sleep run in simulated time. Every member is safe to call from any
// thread.
class ManualClock final : public Clock {
public:
    static constexpr std::int64_t kFrequency = 1'000'000;  // one tick per microsecond

    std::int64_t Frequency() const override { return kFrequency; }
    std::int64_t Counter() const override { return m_ticks.load(); }
    // Advances the clock by `ms` (or by the amount set with SetSleepAdvance) and counts the call.
    void Sleep(int ms) override;

    // Moves the clock forward: Advance(250ms), Advance(2s).
    void Advance(std::chrono::microseconds duration);
    // Makes every later Sleep advance the clock by `duration`, whatever it was asked for.
    void SetSleepAdvance(std::chrono::microseconds duration);
    // How many times Sleep was called.
    int SleepCount() const { return m_sleeps.load(); }

private:
    static constexpr std::int64_t kAsAsked = -1;

    std::atomic<std::int64_t> m_ticks{0};
    std::atomic<std::int64_t> m_sleepAdvance{kAsAsked};
    std::atomic<int> m_sleeps{0};
};
