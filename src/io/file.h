// Whole-file reading, text-mode line reading and locale-independent numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// The whole file, or nothing when it cannot be opened or read. Files larger
// than maxBytes are refused rather than allocated.
std::optional<std::vector<uint8_t>> ReadWholeFile(const char *path, uint64_t maxBytes = uint64_t{1} << 31);

// The whole file as text mode reads it on Windows: CR LF becomes LF, every
// other byte passes unchanged (a lone CR included).
std::optional<std::string> ReadTextFile(const char *path, uint64_t maxBytes = uint64_t{1} << 31);

// Applies the text-mode translation to bytes already in memory.
std::string TextModeFromBytes(std::string_view bytes);

// Joins a directory and a name with the platform separator ('\' on Windows).
char PathSeparator();

// Line-by-line reading of text already in memory. Lines come without their LF.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}
    bool Next(std::string_view &line);
    bool AtEnd() const { return pos_ >= text_.size(); }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

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
