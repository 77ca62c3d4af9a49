#include "io/text_lines.h"

#include "io/file_read.h"

namespace vesk {

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
    return TextModeFromBytes(bytes->text());
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

}  // namespace vesk
