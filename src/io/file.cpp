#include "io/file.h"

#include <charconv>
#include <limits>
#include <cstdio>
#include <system_error>

namespace vesk {

std::optional<std::vector<uint8_t>> ReadWholeFile(const char *path, uint64_t maxBytes) {
    if (!path) return std::nullopt;
    std::FILE *f = std::fopen(path, "rb");
    if (!f) return std::nullopt;
    std::vector<uint8_t> bytes;
    // Size from the end position when the stream can tell it, then one read;
    // blocks after that cover streams that grow or cannot seek.
    if (std::fseek(f, 0, SEEK_END) == 0) {
        const long end = std::ftell(f);
        if (end > 0 && static_cast<uint64_t>(end) <= maxBytes) bytes.resize(static_cast<size_t>(end));
        std::rewind(f);
    }
    size_t used = std::fread(bytes.data(), 1, bytes.size(), f);
    bytes.resize(used);
    bool ok = true;
    uint8_t block[65536];
    for (;;) {
        const size_t n = std::fread(block, 1, sizeof block, f);
        if (n == 0) {
            ok = !std::ferror(f);
            break;
        }
        if (bytes.size() + n > maxBytes) {
            ok = false;
            break;
        }
        bytes.insert(bytes.end(), block, block + n);
    }
    std::fclose(f);
    if (!ok) return std::nullopt;
    return bytes;
}

std::string TextModeFromBytes(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        text.push_back(bytes[i]);
    }
    return text;
}

std::optional<std::string> ReadTextFile(const char *path, uint64_t maxBytes) {
    auto bytes = ReadWholeFile(path, maxBytes);
    if (!bytes) return std::nullopt;
    return TextModeFromBytes(std::string_view(reinterpret_cast<const char *>(bytes->data()), bytes->size()));
}

char PathSeparator() {
#if defined(_WIN32)
    return '\\';
#else
    return '/';
#endif
}

bool LineReader::Next(std::string_view &line) {
    if (pos_ >= text_.size()) return false;
    const size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) {
        line = text_.substr(pos_);
        pos_ = text_.size();
    } else {
        line = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
    }
    return true;
}

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
