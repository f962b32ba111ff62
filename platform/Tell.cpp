#include "platform/Tell.h"

#include <cstdio>

namespace {

thread_local std::string t_lastLine;

}  // namespace

void TellLine(std::string_view line) {
    std::fprintf(stderr, "vorn: %.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(stderr);
    t_lastLine = line;
}

std::string LastLineTold() {
    return t_lastLine;
}
