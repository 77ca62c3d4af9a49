#include "io/file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <limits>
#include <new>
#include <system_error>

#if defined(_WIN32)
#include <sys/stat.h>
#include <sys/types.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

uint8_t *ByteBuffer::Prepare(size_t n) {
    if (n > capacity_ || !data_) {
        // Default-initialised: no zero fill of bytes the read overwrites.
        std::unique_ptr<uint8_t[]> grown(new (std::nothrow) uint8_t[n ? n : 1]);
        if (!grown) return nullptr;
        data_ = std::move(grown);
        capacity_ = n ? n : 1;
    }
    size_ = 0;
    return data_.get();
}

void ByteBuffer::Release() {
    data_.reset();
    size_ = capacity_ = 0;
}

namespace {

// Reads what follows the first size bytes (a file that grew, or a stream
// whose size was unknown) in blocks; false on a read error or past maxBytes.
template <class ReadFn>
bool ReadRest(ByteBuffer &out, size_t size, uint64_t maxBytes, ReadFn read) {
    uint8_t block[65536];
    for (;;) {
        const long long n = read(block, sizeof block);
        if (n < 0) return false;
        if (n == 0) break;
        const size_t got = static_cast<size_t>(n);
        if (size + got > maxBytes) return false;
        if (size + got > out.capacity()) {
            // Rare: keep what was read while growing.
            ByteBuffer bigger;
            // Doubling in 64 bits, capped at the limit: 2 * 2 GiB wraps a 32-bit size_t.
            const uint64_t grown = std::min<uint64_t>(2 * uint64_t{size + got}, maxBytes);
            uint8_t *to = bigger.Prepare(static_cast<size_t>(grown));
            if (!to) return false;
            if (size) std::memcpy(to, out.bytes().data(), size);
            out = std::move(bigger);
        }
        std::memcpy(out.data() + size, block, got);
        size += got;
        out.SetSize(size);
    }
    out.SetSize(size);
    return true;
}

}  // namespace

#if defined(_WIN32)

bool StampFile(const char *path, FileStamp &stamp) {
    struct _stat64 st;
    if (!path || _stat64(path, &st) != 0) return false;
    stamp = {static_cast<uint64_t>(st.st_size), static_cast<int64_t>(st.st_mtime) * 1000000000,
             static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return true;
}

bool ReadFileInto(const char *path, ByteBuffer &out, uint64_t maxBytes, FileStamp *stamp, uint64_t prefix,
                  bool *complete) {
    if (complete) *complete = false;
    if (!path) return false;
    if (stamp && !StampFile(path, *stamp)) return false;
    std::FILE *f = std::fopen(path, "rb");
    if (!f) return false;
    uint64_t expected = 0;
    if (_fseeki64(f, 0, SEEK_END) == 0) {
        const long long end = _ftelli64(f);
        if (end > 0) expected = static_cast<uint64_t>(end);
        std::rewind(f);
    }
    const uint64_t want = expected < prefix ? expected : prefix;
    bool ok = expected <= maxBytes && want <= std::numeric_limits<size_t>::max() &&
              out.Prepare(static_cast<size_t>(want)) != nullptr;
    size_t used = 0;
    if (ok) {
        used = std::fread(out.data(), 1, static_cast<size_t>(want), f);
        out.SetSize(used);
        if (want == expected)
            ok = ReadRest(out, used, maxBytes, [&](uint8_t *to, size_t n) -> long long {
                const size_t got = std::fread(to, 1, n, f);
                return got == 0 && std::ferror(f) ? -1 : static_cast<long long>(got);
            });
    }
    std::fclose(f);
    if (complete) *complete = ok && want == expected;
    return ok;
}

#else

namespace {
FileStamp StampOf(const struct stat &st) {
    return {static_cast<uint64_t>(st.st_size),
            static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + static_cast<int64_t>(st.st_mtim.tv_nsec),
            static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}
}  // namespace

bool StampFile(const char *path, FileStamp &stamp) {
    struct stat st;
    if (!path || ::stat(path, &st) != 0) return false;
    stamp = StampOf(st);
    return true;
}

bool ReadFileInto(const char *path, ByteBuffer &out, uint64_t maxBytes, FileStamp *stamp, uint64_t prefix,
                  bool *complete) {
    if (complete) *complete = false;
    if (!path) return false;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0;
    // Regular files tell their size: one read of exactly that (or of the
    // prefix asked for), and no probe for more. Anything else is read on in
    // blocks to its end.
    const bool sized = ok && S_ISREG(st.st_mode) && st.st_size > 0;
    const uint64_t expected = sized ? static_cast<uint64_t>(st.st_size) : 0;
    const uint64_t want = expected < prefix ? expected : prefix;
    if (ok && stamp) *stamp = StampOf(st);
    // On a 32-bit host a size past the address space is refused, not truncated.
    ok = ok && expected <= maxBytes && want <= std::numeric_limits<size_t>::max() &&
         out.Prepare(static_cast<size_t>(want)) != nullptr;
    size_t used = 0;
    while (ok && used < want) {
        const ssize_t n = ::read(fd, out.data() + used, static_cast<size_t>(want) - used);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        used += static_cast<size_t>(n);
    }
    out.SetSize(used);
    if (ok && !sized)
        ok = ReadRest(out, used, maxBytes, [&](uint8_t *to, size_t n) -> long long {
            for (;;) {
                const ssize_t got = ::read(fd, to, n);
                if (got < 0 && errno == EINTR) continue;
                return static_cast<long long>(got);
            }
        });
    ::close(fd);
    // A file that shrank meanwhile ended early: what was there is all of it.
    if (complete) *complete = ok && (!sized || want == expected || used < want);
    return ok;
}

#endif

namespace {
constexpr size_t kScratchKeep = size_t{8} << 20;
thread_local ByteBuffer t_scratch;
thread_local bool t_scratchInUse = false;
}  // namespace

ScratchFile::ScratchFile() : buffer_(&t_scratch), borrowed_(!t_scratchInUse) {
    // A nested load (none today) gets a buffer of its own.
    if (!borrowed_) buffer_ = new ByteBuffer;
    else t_scratchInUse = true;
}

ScratchFile::~ScratchFile() {
    if (!borrowed_) {
        delete buffer_;
        return;
    }
    if (buffer_->capacity() > kScratchKeep) buffer_->Release();
    t_scratchInUse = false;
}

namespace {
constexpr size_t kCacheKeep = size_t{32} << 20;
// Larger than any file clock's tick (FAT keeps two seconds).
constexpr int64_t kRacyMarginNs = int64_t{3} * 1000000000;

int64_t WallClockNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}
}  // namespace

bool CachedFile::Get(const char *path, bool &fresh, uint64_t want) {
    fresh = false;
    if (!path) return false;
    if (trusted_ && path_ == path && (complete_ || buffer_.bytes().size() >= want)) {
        FileStamp now;
        if (StampFile(path, now) && now == stamp_) return true;
    }
    trusted_ = false;
    fresh = true;
    const int64_t readAt = WallClockNs();
    if (!ReadFileInto(path, buffer_, uint64_t{1} << 31, &stamp_, want, &complete_)) {
        Drop();
        return false;
    }
    // Only bytes that agree with the stamp (all of them, or the prefix of a
    // longer file) are kept.
    const size_t held = buffer_.bytes().size();
    const bool consistent = complete_ ? stamp_.size == held : held == want && stamp_.size > want;
    if (consistent && stamp_.size <= kCacheKeep && stamp_.modifiedNs < readAt - kRacyMarginNs) {
        path_ = path;
        trusted_ = true;
    }
    return true;
}

void CachedFile::Drop() {
    // The storage stays for the next file unless it is large.
    if (buffer_.capacity() > kCacheKeep) buffer_.Release();
    buffer_.SetSize(0);
    path_.clear();
    trusted_ = false;
    complete_ = false;
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
