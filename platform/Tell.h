#pragma once

#include <string>
#include <string_view>

// Writes "vorn: `line`" and a newline on standard error, and flushes it: the one form of every
// failure and notice of the command-line modes, which cron mails and journals keep.
void TellLine(std::string_view line);

// The last line this thread told with TellLine, without "vorn: "; empty when it told none. A
// launch's record of its outcome takes its failure line from here, as told.
std::string LastLineTold();
