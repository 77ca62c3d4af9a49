// Whole-file reading, text-mode line reading and locale-independent numbers.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
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

// Byte storage that grows but is never zero-filled: the file read overwrites
// it anyway, and a buffer kept between loads keeps its pages mapped.
class ByteBuffer {
public:
    // Room for n bytes (old contents are not kept); null when n cannot be allocated.
    uint8_t *Prepare(size_t n);
    uint8_t *data() { return data_.get(); }
    void SetSize(size_t n) { size_ = n; }
    size_t capacity() const { return capacity_; }
    std::span<const uint8_t> bytes() const { return {data_.get(), size_}; }
    std::string_view text() const { return {reinterpret_cast<const char *>(data_.get()), size_}; }
    void Release();

private:
    std::unique_ptr<uint8_t[]> data_;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// What identifies one version of a file: a different stamp is a changed file.
struct FileStamp {
    uint64_t size = 0;
    int64_t modifiedNs = 0;
    uint64_t device = 0, inode = 0;
    bool operator==(const FileStamp &) const = default;
};

// The whole file into out, with one read where the size is known; false when
// it cannot be opened or read, or is larger than maxBytes. stamp, when given,
// is the file's stamp as it was opened. A file whose size is known is read
// only up to prefix bytes; complete tells whether out holds all of it.
bool ReadFileInto(const char *path, ByteBuffer &out, uint64_t maxBytes = uint64_t{1} << 31,
                  FileStamp *stamp = nullptr, uint64_t prefix = UINT64_MAX, bool *complete = nullptr);
bool StampFile(const char *path, FileStamp &stamp);

// This thread's buffer for loads that parse the file and drop its bytes. Kept
// between loads up to a few megabytes, released after larger ones.
class ScratchFile {
public:
    ScratchFile();
    ~ScratchFile();
    ScratchFile(const ScratchFile &) = delete;
    ScratchFile &operator=(const ScratchFile &) = delete;
    bool Read(const char *path) { return ReadFileInto(path, *buffer_); }
    std::span<const uint8_t> bytes() const { return buffer_->bytes(); }
    std::string_view text() const { return buffer_->text(); }

private:
    ByteBuffer *buffer_;
    bool borrowed_;
};

// The last file read through it, kept while its stamp stays the same. A file
// is only trusted unread when its modification time lies well before the
// read that filled the cache: file clocks are coarse, so a file rewritten
// within the same tick at the same size would otherwise look unchanged.
class CachedFile {
public:
    // Caller holds mutex() while using bytes(). fresh tells whether the bytes
    // were read by this call (what was derived from the old ones is stale).
    // With want, at least the first want bytes (all of a shorter file) are
    // held afterwards, not necessarily more.
    bool Get(const char *path, bool &fresh, uint64_t want = UINT64_MAX);
    std::span<const uint8_t> bytes() const { return buffer_.bytes(); }
    // Whether bytes() is the whole file, and the file's size either way.
    bool complete() const { return complete_; }
    uint64_t fileSize() const { return complete_ ? buffer_.bytes().size() : stamp_.size; }
    // Forgets the file; the storage is kept for the next one unless large.
    void Drop();
    std::mutex &mutex() { return mutex_; }

private:
    std::mutex mutex_;
    ByteBuffer buffer_;
    std::string path_;
    FileStamp stamp_;
    bool trusted_ = false;
    bool complete_ = false;
};

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
