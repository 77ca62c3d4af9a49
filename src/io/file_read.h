// The one whole-file reader: every file a loader reads, main or companion,
// comes through here, from the host's file handler when one is set and from
// the disk otherwise.
#pragma once

#include <VeskMathLIB.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace vesk {

// No file larger than this is read (nor accepted from a handler).
inline constexpr uint64_t kMaxFileBytes = uint64_t{1} << 31;

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
    void Release();

private:
    std::unique_ptr<uint8_t[]> data_;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// What identifies one version of a file on disk: a different stamp is a changed file.
struct FileStamp {
    uint64_t size = 0;
    int64_t modifiedNs = 0;
    uint64_t device = 0, inode = 0;
    bool operator==(const FileStamp &) const = default;
};

struct ReadOptions {
    uint64_t maxBytes = kMaxFileBytes;
    // A disk file whose size is known is read only up to this many bytes.
    uint64_t prefix = UINT64_MAX;
    // Filled with the disk file's stamp as it was opened (untouched for a handler's file).
    FileStamp *stamp = nullptr;
};

// One file read whole. Bytes from the handler are the host's and are given
// back (release, exactly once) when this is reset or destroyed; bytes from
// the disk lie in the storage given to Read, or in the file's own.
class FileBytes {
public:
    FileBytes() = default;
    ~FileBytes() { Reset(); }
    FileBytes(FileBytes &&other) noexcept { *this = std::move(other); }
    FileBytes &operator=(FileBytes &&other) noexcept;
    FileBytes(const FileBytes &) = delete;
    FileBytes &operator=(const FileBytes &) = delete;

    // Reads path whole; false (holding nothing) for a missing, unreadable or
    // too large file. storage receives a disk file's bytes.
    bool Read(const char *path, ByteBuffer &storage, const ReadOptions &options = {});
    // The same, into storage of its own.
    bool Read(const char *path, const ReadOptions &options = {}) { return Read(path, *OwnStorage(), options); }

    std::span<const uint8_t> bytes() const { return {data_, size_}; }
    std::string_view text() const { return {reinterpret_cast<const char *>(data_), size_}; }
    const uint8_t *data() const { return data_; }
    size_t size() const { return size_; }
    operator std::span<const uint8_t>() const { return bytes(); }
    // Whether bytes() is the whole file (a prefix read may stop short), and the file's size.
    bool complete() const { return complete_; }
    uint64_t fileSize() const { return fileSize_; }
    // Whether the bytes are the handler's (still held).
    bool hosted() const { return hosted_; }
    void Reset();

private:
    ByteBuffer *OwnStorage();
    const uint8_t *data_ = nullptr;
    size_t size_ = 0;
    uint64_t fileSize_ = 0;
    bool complete_ = false;
    bool hosted_ = false;
    void *handle_ = nullptr;
    VeskFileRelease hostedRelease_ = nullptr;
    std::unique_ptr<ByteBuffer> own_;
};

// The whole file in storage of its own, or nothing.
std::optional<FileBytes> ReadWholeFile(const char *path, uint64_t maxBytes = kMaxFileBytes);
// The whole file as a copy the caller keeps beyond the call.
std::optional<std::vector<uint8_t>> ReadFileCopy(const char *path, uint64_t maxBytes = kMaxFileBytes);

// The disk's reader alone, under the handler: the whole file into out, with
// one read where the size is known. complete tells whether out holds all of it.
bool ReadDiskFile(const char *path, ByteBuffer &out, const ReadOptions &options = {}, bool *complete = nullptr);
bool StampFile(const char *path, FileStamp &stamp);

// The separator of names the library forms from a host's path: '/' while a
// file handler is set (archives use it), the platform's ('\' on Windows) for the disk.
char PathSeparator();

}  // namespace vesk
