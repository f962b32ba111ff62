#include "platform/Clock.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

std::int64_t SteadyClock::Frequency() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::seconds(1)).count();
}

std::int64_t SteadyClock::Counter() const {
    const auto sinceEpoch = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count();
}

void SteadyClock::Sleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool SteadyClock::SleepUnlessStopped(int ms, const std::stop_token& stop) {
    std::mutex mutex;
    std::condition_variable_any woken;
    std::unique_lock lock(mutex);
    // Nothing but the stop request wakes it before the time is up.
    return !woken.wait_for(lock, stop, std::chrono::milliseconds(ms), [] { return false; }) &&
           !stop.stop_requested();
}

std::int64_t SteadyClock::WallMs() const {
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count();
}

Clock& DefaultClock() {
    static SteadyClock clock;
    return clock;
}

float SecondsSince(const Clock& clock, std::int64_t& last) {
    const std::int64_t now = clock.Counter();
    const double seconds = static_cast<double>(now - last) / static_cast<double>(clock.Frequency());
    last = now;
    return static_cast<float>(seconds);
}
