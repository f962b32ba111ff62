#pragma once

#include <string_view>

// Writes "vorn: `line`" and a newline on standard error, and flushes it: the one form of every
// failure and notice of the command-line modes, which cron mails and journals keep.
void TellLine(std::string_view line);
