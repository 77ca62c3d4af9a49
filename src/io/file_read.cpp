#include "io/file_read.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "frame/platform.h"

#if defined(_WIN32)
#include <sys/stat.h>
#include <sys/types.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vesk {

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

bool ReadDiskFile(const char *path, ByteBuffer &out, const ReadOptions &options, bool *complete) {
    if (complete) *complete = false;
    if (!path) return false;
    if (options.stamp && !StampFile(path, *options.stamp)) return false;
    std::FILE *f = std::fopen(path, "rb");
    if (!f) return false;
    uint64_t expected = 0;
    if (_fseeki64(f, 0, SEEK_END) == 0) {
        const long long end = _ftelli64(f);
        if (end > 0) expected = static_cast<uint64_t>(end);
        std::rewind(f);
    }
    const uint64_t want = expected < options.prefix ? expected : options.prefix;
    bool ok = expected <= options.maxBytes && want <= std::numeric_limits<size_t>::max() &&
              out.Prepare(static_cast<size_t>(want)) != nullptr;
    size_t used = 0;
    if (ok) {
        used = std::fread(out.data(), 1, static_cast<size_t>(want), f);
        out.SetSize(used);
        if (want == expected)
            ok = ReadRest(out, used, options.maxBytes, [&](uint8_t *to, size_t n) -> long long {
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

bool ReadDiskFile(const char *path, ByteBuffer &out, const ReadOptions &options, bool *complete) {
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
    const uint64_t want = expected < options.prefix ? expected : options.prefix;
    if (ok && options.stamp) *options.stamp = StampOf(st);
    // On a 32-bit host a size past the address space is refused, not truncated.
    ok = ok && expected <= options.maxBytes && want <= std::numeric_limits<size_t>::max() &&
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
        ok = ReadRest(out, used, options.maxBytes, [&](uint8_t *to, size_t n) -> long long {
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

FileBytes &FileBytes::operator=(FileBytes &&other) noexcept {
    if (this == &other) return *this;
    Reset();
    data_ = other.data_;
    size_ = other.size_;
    fileSize_ = other.fileSize_;
    complete_ = other.complete_;
    hosted_ = other.hosted_;
    handle_ = other.handle_;
    hostedRelease_ = other.hostedRelease_;
    own_ = std::move(other.own_);
    other.hosted_ = false;
    other.Reset();
    return *this;
}

ByteBuffer *FileBytes::OwnStorage() {
    if (!own_) own_ = std::make_unique<ByteBuffer>();
    return own_.get();
}

void FileBytes::Reset() {
    if (hosted_) {
        hosted_ = false;
        if (hostedRelease_) hostedRelease_(handle_);
    }
    handle_ = nullptr;
    hostedRelease_ = nullptr;
    data_ = nullptr;
    size_ = 0;
    fileSize_ = 0;
    complete_ = false;
}

bool FileBytes::Read(const char *path, ByteBuffer &storage, const ReadOptions &options) {
    Reset();
    if (!path) return false;
    const FileHandler handler = CurrentFileHandler();
    if (handler.read) {
        const void *bytes = nullptr;
        uint32_t size = 0;
        void *handle = nullptr;
        if (!handler.read(path, &bytes, &size, &handle)) return false;
        // Held from here on: every exit gives it back exactly once.
        hosted_ = true;
        handle_ = handle;
        hostedRelease_ = handler.release;
        if (size > options.maxBytes || (!bytes && size > 0)) {
            Reset();
            return false;
        }
        data_ = static_cast<const uint8_t *>(bytes);
        size_ = size;
        fileSize_ = size;
        complete_ = true;
        return true;
    }
    bool complete = false;
    if (!ReadDiskFile(path, storage, options, &complete)) return false;
    data_ = storage.bytes().data();
    size_ = storage.bytes().size();
    complete_ = complete;
    fileSize_ = complete || !options.stamp ? size_ : options.stamp->size;
    return true;
}

std::optional<FileBytes> ReadWholeFile(const char *path, uint64_t maxBytes) {
    FileBytes file;
    ReadOptions options;
    options.maxBytes = maxBytes;
    if (!file.Read(path, options)) return std::nullopt;
    return file;
}

std::optional<std::vector<uint8_t>> ReadFileCopy(const char *path, uint64_t maxBytes) {
    auto file = ReadWholeFile(path, maxBytes);
    if (!file) return std::nullopt;
    return std::vector<uint8_t>(file->bytes().begin(), file->bytes().end());
}

char PathSeparator() {
    if (CurrentFileHandler().read) return '/';
#if defined(_WIN32)
    return '\\';
#else
    return '/';
#endif
}

}  // namespace vesk
