#include "support/ManualClock.h"

#include <thread>

ManualClock::ManualClock()
    : m_wallAtZeroMs(std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count()) {}

std::int64_t ManualClock::WallMs() const {
    return m_wallAtZeroMs.load() + m_ticks.load() / (kFrequency / 1000);
}

void ManualClock::SetWallMs(std::int64_t wallMs) {
    m_wallAtZeroMs = wallMs - m_ticks.load() / (kFrequency / 1000);
}

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

bool ManualClock::SleepUnlessStopped(int ms, const std::stop_token& stop) {
    {
        std::unique_lock lock(m_holdMutex);
        m_holdChanged.wait(lock, stop, [this] { return !m_held; });
    }
    if (stop.stop_requested()) {
        return false;
    }
    Sleep(ms);
    return true;
}

void ManualClock::HoldSleeps() {
    std::lock_guard lock(m_holdMutex);
    m_held = true;
}

void ManualClock::ReleaseSleeps() {
    {
        std::lock_guard lock(m_holdMutex);
        m_held = false;
    }
    m_holdChanged.notify_all();
}
