#include "support/ManualClock.h"

#include <thread>

void ManualClock::Sleep(int ms) {
    const std::int64_t advance = m_sleepAdvance.load();
    Advance(advance == kAsAsked ? std::chrono::milliseconds(ms)
                                : std::chrono::microseconds(advance));
    ++m_sleeps;
    // Lets a thread that waits for this one run, as a real sleep would.
    std::this_thread::yield();
}

void ManualClock::Advance(std::chrono::microseconds duration) {
    m_ticks += duration.count();
}

void ManualClock::SetSleepAdvance(std::chrono::microseconds duration) {
    m_sleepAdvance = duration.count();
}
