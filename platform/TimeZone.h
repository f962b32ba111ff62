#pragma once

#include <cstdint>
#include <string>

// What is wrong with the time zone that the environment's TZ names, or empty when nothing is. A
// TZ that is neither a zone file this machine has nor a POSIX rule ("CET-1CEST,M3.5.0,M10.5.0/3")
// leaves every local time at UTC, and the C library says nothing of it.
std::string TimeZoneTrouble();

// "2024-06-02T06:12:00+02:00": the wall-clock time of `ms` (since the epoch, UTC) where the offset
// from UTC was `utcOffsetSeconds`, in ISO 8601 with that offset always written.
std::string IsoTimeWithOffset(std::int64_t ms, int utcOffsetSeconds);
