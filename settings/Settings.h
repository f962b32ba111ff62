#pragma once

#include <string>

// A decimal integer as atoi reads it: leading white space, an optional sign, then digits up to
// the first other character; 0 without digits. Values beyond int saturate.
int ParseInt(const std::string& text);

// The resolution code that a stored RESOLUTION_REF number selects.
int ResolutionCodeFor(int resolutionRef);
