#include "platform/Clock.h"

#include <chrono>
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
