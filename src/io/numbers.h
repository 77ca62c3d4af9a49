// Locale-independent numbers and words of text.
#pragma once

#include <cstdint>
#include <string_view>

namespace vesk {

// Numbers as the C locale writes them, whatever the host's locale: optional
// leading white space, sign, digits, fraction, exponent (strtod-like, no hex).
// On success, text is advanced past the number.
bool ParseFloat(std::string_view &text, float &out);
bool ParseDouble(std::string_view &text, double &out);
// Decimal integer with optional sign; values beyond 32 bits fail.
bool ParseInt(std::string_view &text, int32_t &out);

// Skips spaces, tabs, CR, LF, VT and FF.
std::string_view SkipSpace(std::string_view text);
// The next white-space-delimited word (empty at the end); text moves past it.
std::string_view NextWord(std::string_view &text);

}  // namespace vesk
