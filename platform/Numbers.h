#pragma once

#include <optional>
#include <string>
#include <string_view>

// Decimal numbers as the program reads them from its edits and its settings file, the same in
// every locale (always a point, never a comma).

// A decimal integer as atoi reads it: leading white space, an optional sign, then digits up to
// the first other character; 0 without digits. Values beyond int saturate.
int ParseInt(std::string_view text);

// The integer that is the whole text (blanks around it allowed); nothing when the text is not
// one or lies beyond int.
std::optional<int> ParseWholeInt(std::string_view text);

// The finite decimal number that is the whole text (blanks around it allowed, an exponent too);
// nothing when the text is not one.
std::optional<double> ParseWholeNumber(std::string_view text);

// The number of tenths the whole text is, a decimal with at most one digit after the point
// ("0.5" is 5, "12" is 120); nothing when the text is not one or lies beyond int.
std::optional<int> ParseTenths(std::string_view text);

// A count with its thousands grouped, as messages show it: 12345 as "12,345".
std::string GroupedDigits(long long value);

// A video's length in words: "0.5 s", "2 min 05 s", "1 h 02 min".
std::string LengthText(double seconds);
