#pragma once

#include <chrono>
#include <cstdint>
#include <stop_token>
#include <string>

// A performance counter with a sleep, so that time can be replaced in tests.
class Clock {
public:
    virtual ~Clock() = default;
    // Ticks per second. Safe to call from any thread.
    virtual std::int64_t Frequency() const = 0;
    // The current tick count. Safe to call from any thread.
    virtual std::int64_t Counter() const = 0;
    // Blocks the calling thread for about `ms` milliseconds. Safe to call from any thread.
    virtual void Sleep(int ms) = 0;
    // Blocks for about `ms` milliseconds, or until `stop` is requested, which wakes it at once;
    // false when it was. Safe to call from any thread.
    virtual bool SleepUnlessStopped(int ms, const std::stop_token& stop) = 0;
    // The wall-clock time, in milliseconds since 1970-01-01 00:00 UTC, that a capture's schedule
    // is read against. Safe to call from any thread.
    virtual std::int64_t WallMs() const = 0;
};

// std::chrono::steady_clock in nanoseconds and std::this_thread::sleep_for.
class SteadyClock final : public Clock {
public:
    std::int64_t Frequency() const override;
    std::int64_t Counter() const override;
    void Sleep(int ms) override;
    bool SleepUnlessStopped(int ms, const std::stop_token& stop) override;
    // std::chrono::system_clock.
    std::int64_t WallMs() const override;
};

// The program's clock: one steady clock for the whole process.
Clock& DefaultClock();

// Spans of time as the capture keeps them: seconds in a float, as the delay between frames is set.
using Seconds = std::chrono::duration<float>;

// The time from `last` to now on `clock`; moves `last` to now. Safe to call from any thread.
Seconds SecondsSince(const Clock& clock, std::int64_t& last);
// The time from `from` to now on `clock`. Safe to call from any thread.
Seconds SecondsFrom(const Clock& clock, std::int64_t from);

// The local date and time that the wall clock of `clock` tells, as month/day/two-digit year and
// 24-hour time: 12/31/10 23:59:59. Safe to call from any thread.
std::string LocalTimeText(const Clock& clock);
