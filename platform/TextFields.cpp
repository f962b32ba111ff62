#include "platform/TextFields.h"

#include <algorithm>

namespace {

constexpr std::size_t kIsoDateLength = 10;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int Digits(std::string_view text) {
    int value = 0;
    for (const char c : text) {
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<QDate> ParseIsoDate(std::string_view text) {
    if (text.size() != kIsoDateLength || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    const std::string_view year = text.substr(0, 4);
    const std::string_view month = text.substr(5, 2);
    const std::string_view day = text.substr(8, 2);
    for (const std::string_view part : {year, month, day}) {
        if (!std::all_of(part.begin(), part.end(), IsDigit)) {
            return std::nullopt;
        }
    }
    const QDate date(Digits(year), Digits(month), Digits(day));
    return date.isValid() ? std::optional(date) : std::nullopt;
}
