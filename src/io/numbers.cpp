#include "io/numbers.h"

#include <charconv>
#include <limits>
#include <system_error>

namespace vesk {

namespace {
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

template <class T>
bool ParseReal(std::string_view &text, T &out) {
    std::string_view s = SkipSpace(text);
    bool negative = false;
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    // from_chars takes no '+' and no leading sign after ours; it is locale-free.
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) return false;
    T value{};
    const char *begin = s.data() + i;
    const auto result = std::from_chars(begin, s.data() + s.size(), value, std::chars_format::general);
    if (result.ec == std::errc::invalid_argument) return false;
    if (result.ec == std::errc::result_out_of_range) {
        // Keep strtod's answer: overflow gives infinity, underflow zero.
        bool bigExponent = false;
        for (const char *p = begin; p < result.ptr; ++p)
            if (*p == 'e' || *p == 'E') bigExponent = p + 1 < result.ptr && p[1] != '-';
        value = bigExponent ? std::numeric_limits<T>::infinity() : T{0};
    }
    out = negative ? -value : value;
    text = s.substr(static_cast<size_t>(result.ptr - s.data()));
    return true;
}
}  // namespace

bool ParseFloat(std::string_view &text, float &out) { return ParseReal(text, out); }
bool ParseDouble(std::string_view &text, double &out) { return ParseReal(text, out); }

bool ParseInt(std::string_view &text, int32_t &out) {
    std::string_view s = SkipSpace(text);
    size_t i = 0;
    if (i < s.size() && s[i] == '+') ++i;
    int32_t value = 0;
    const auto result = std::from_chars(s.data() + i, s.data() + s.size(), value);
    if (result.ec != std::errc()) return false;
    out = value;
    text = s.substr(static_cast<size_t>(result.ptr - s.data()));
    return true;
}

std::string_view SkipSpace(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    return text.substr(i);
}

std::string_view NextWord(std::string_view &text) {
    std::string_view s = SkipSpace(text);
    size_t n = 0;
    while (n < s.size() && !IsSpace(s[n])) ++n;
    text = s.substr(n);
    return s.substr(0, n);
}

}  // namespace vesk
