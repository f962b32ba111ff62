#pragma once

#include <string>

// What is wrong with the time zone that the environment's TZ names, or empty when nothing is. A
// TZ that is neither a zone file this machine has nor a POSIX rule ("CET-1CEST,M3.5.0,M10.5.0/3")
// leaves every local time at UTC, and the C library says nothing of it.
std::string TimeZoneTrouble();
