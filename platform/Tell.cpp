#include "platform/Tell.h"

#include <cstdio>

void TellLine(std::string_view line) {
    std::fprintf(stderr, "vorn: %.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(stderr);
}
