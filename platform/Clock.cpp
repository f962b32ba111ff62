#include "platform/Clock.h"

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <thread>

namespace {

Seconds SecondsOfTicks(const Clock& clock, std::int64_t ticks) {
    return Seconds(
        static_cast<float>(static_cast<double>(ticks) / static_cast<double>(clock.Frequency())));
}

}  // namespace

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

Seconds SecondsSince(const Clock& clock, std::int64_t& last) {
    const std::int64_t now = clock.Counter();
    const Seconds seconds = SecondsOfTicks(clock, now - last);
    last = now;
    return seconds;
}

Seconds SecondsFrom(const Clock& clock, std::int64_t from) {
    return SecondsOfTicks(clock, clock.Counter() - from);
}

std::string LocalTimeText(const Clock& clock) {
    const std::time_t now = static_cast<std::time_t>(clock.WallMs() / 1000);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) {
        return {};
    }
    char text[128];
    const std::size_t length = std::strftime(text, sizeof text, "%m/%d/%y %H:%M:%S", &local);
    return std::string(text, length);
}
