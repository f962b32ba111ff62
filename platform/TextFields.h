#pragma once

#include <QDate>
#include <optional>
#include <string_view>

// Values as the program reads them from its settings file, its options and its window's fields.

// A blank around a value: the white space of the C locale (space, tab, newline, carriage return,
// form feed, vertical tab).
bool IsBlank(char c);

// `text` without the blanks around it.
std::string_view Trimmed(std::string_view text);

// The date that the whole `text` is, written "YYYY-MM-DD" in digits; nothing for any other text
// (signs, blanks, fewer digits) or a date that does not exist.
std::optional<QDate> ParseIsoDate(std::string_view text);
