// Text as the Windows C runtime's text mode reads it (CR LF becomes LF), on
// every platform, and line-by-line reading.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace vesk {

// The whole file (through the one reader) as text mode reads it on Windows:
// CR LF becomes LF, every other byte passes unchanged (a lone CR included).
std::optional<std::string> ReadTextFile(const char *path, uint64_t maxBytes = uint64_t{1} << 31);

// Applies the text-mode translation to bytes already in memory.
std::string TextModeFromBytes(std::string_view bytes);

// Line-by-line reading of raw file bytes as text mode would deliver them: a
// CR right before a LF is dropped (a lone CR stays). dropped() counts the CRs
// dropped before the current position, so offsets map to text-mode ones.
class TextModeLineReader {
public:
    explicit TextModeLineReader(std::string_view bytes) : text_(bytes) {}
    bool Next(std::string_view &line) {
        if (pos_ >= text_.size()) return false;
        droppedBefore_ = dropped_;
        const char *begin = text_.data() + pos_;
        const void *lf = std::memchr(begin, '\n', text_.size() - pos_);
        if (!lf) {
            line = std::string_view(begin, text_.size() - pos_);
            pos_ = text_.size();
            return true;
        }
        const size_t end = static_cast<size_t>(static_cast<const char *>(lf) - text_.data());
        line = std::string_view(begin, end - pos_);
        pos_ = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
            ++dropped_;
        }
        return true;
    }
    // CRs dropped before the line last returned, and in everything read so far.
    size_t droppedBeforeLine() const { return droppedBefore_; }
    size_t dropped() const { return dropped_; }

private:
    std::string_view text_;
    size_t pos_ = 0;
    size_t dropped_ = 0;
    size_t droppedBefore_ = 0;
};

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

}  // namespace vesk
