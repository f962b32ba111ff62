#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What is wrong with the time zone that the environment's TZ names, or nothing when nothing is. A
// TZ that is neither a zone file this machine has nor a POSIX rule ("CET-1CEST,M3.5.0,M10.5.0/3")
// leaves every local time at UTC, and the C library says nothing of it.
std::optional<std::string> TimeZoneTrouble();

// The local clock's offset from UTC at the instant `ms` (since the epoch, UTC), in ms, by this
// process's time zone (TZ).
std::int64_t LocalOffsetMs(std::int64_t ms);

// The first instant in (after, upTo] whose LocalOffsetMs is not that of `after`, found to the ms;
// `upTo` when there is none. It halves the span, so it ends for any offsets: for a span in which
// the clocks change at most once.
std::int64_t FirstOffsetChange(std::int64_t after, std::int64_t upTo);

// An offset from UTC as ISO 8601 and EXIF can write it: rounded to whole minutes. A zone's offset
// may have seconds (Europe/Berlin before 1893 was +0:53:28, and so may a TZ rule), and a time
// written with its minutes alone would read back that many seconds off.
int WholeMinutesOffset(int utcOffsetSeconds);

// "2024-06-02T06:12:00+02:00": the wall-clock time of `ms` (since the epoch, UTC) where the offset
// from UTC was `utcOffsetSeconds`, in ISO 8601 with that offset always written, in whole minutes
// (WholeMinutesOffset), so that the text names the instant `ms`.
std::string IsoTimeWithOffset(std::int64_t ms, int utcOffsetSeconds);
// The same with the local time zone's offset at `ms`.
std::string LocalIsoTime(std::int64_t ms);
