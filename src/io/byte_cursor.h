// Bounds-checked little-endian reading over a byte buffer. Every read either
// succeeds inside the buffer or fails and leaves the cursor where it was;
// offsets and counts from files are checked with 64-bit arithmetic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <type_traits>

namespace vesk {

class ByteCursor {
public:
    ByteCursor() = default;
    explicit ByteCursor(std::span<const uint8_t> bytes) : data_(bytes) {}

    size_t size() const { return data_.size(); }
    size_t position() const { return pos_; }
    size_t remaining() const { return data_.size() - pos_; }
    std::span<const uint8_t> bytes() const { return data_; }

    // True when [offset, offset + length) lies inside the buffer.
    bool Contains(uint64_t offset, uint64_t length) const {
        return offset <= data_.size() && length <= data_.size() - offset;
    }
    // True when count records of recordSize bytes fit at offset (no overflow).
    bool ContainsArray(uint64_t offset, uint64_t count, uint64_t recordSize) const {
        if (recordSize != 0 && count > (UINT64_MAX / recordSize)) return false;
        return Contains(offset, count * recordSize);
    }

    // True when count records of recordSize bytes at offset, as a file states
    // them (signed, so negative values never fit), lie inside the buffer.
    bool HoldsRecords(int64_t offset, int64_t count, uint64_t recordSize) const {
        return RecordsFit(data_.size(), offset, count, recordSize);
    }
    // The same judged against a file of total bytes, of which the buffer may
    // hold only the start.
    static bool RecordsFit(uint64_t total, int64_t offset, int64_t count, uint64_t recordSize) {
        if (offset < 0 || count < 0) return false;
        const uint64_t n = static_cast<uint64_t>(count);
        if (recordSize != 0 && n > UINT64_MAX / recordSize) return false;
        return static_cast<uint64_t>(offset) <= total && n * recordSize <= total - static_cast<uint64_t>(offset);
    }

    bool Seek(uint64_t offset) {
        if (offset > data_.size()) return false;
        pos_ = static_cast<size_t>(offset);
        return true;
    }
    bool Skip(uint64_t count) {
        if (count > remaining()) return false;
        pos_ += static_cast<size_t>(count);
        return true;
    }

    // Trivially copyable value, little-endian as stored (all targets are little-endian).
    template <class T>
    bool Read(T &out) {
        static_assert(std::is_trivially_copyable_v<T>);
        if (sizeof(T) > remaining()) return false;
        std::memcpy(&out, data_.data() + pos_, sizeof(T));
        pos_ += sizeof(T);
        return true;
    }
    // Reads a value at an absolute offset without moving the cursor.
    template <class T>
    bool ReadAt(uint64_t offset, T &out) const {
        static_assert(std::is_trivially_copyable_v<T>);
        if (!Contains(offset, sizeof(T))) return false;
        std::memcpy(&out, data_.data() + offset, sizeof(T));
        return true;
    }
    bool ReadBytes(void *out, uint64_t count) {
        if (count > remaining()) return false;
        if (count) std::memcpy(out, data_.data() + pos_, static_cast<size_t>(count));
        pos_ += static_cast<size_t>(count);
        return true;
    }
    // A view of the next count bytes; the cursor moves past them.
    bool Take(uint64_t count, std::span<const uint8_t> &out) {
        if (count > remaining()) return false;
        out = data_.subspan(pos_, static_cast<size_t>(count));
        pos_ += static_cast<size_t>(count);
        return true;
    }
    // A fixed-size name field: the bytes up to the first NUL or the field's end.
    bool ReadFixedString(uint64_t fieldSize, std::string_view &out) {
        std::span<const uint8_t> field;
        if (!Take(fieldSize, field)) return false;
        size_t n = 0;
        while (n < field.size() && field[n] != 0) ++n;
        out = std::string_view(reinterpret_cast<const char *>(field.data()), n);
        return true;
    }

private:
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
};

// Copies text into a fixed char field, cut to fit and always NUL-terminated.
template <size_t N>
void CopyToField(char (&field)[N], std::string_view text) {
    const size_t n = text.size() < N - 1 ? text.size() : N - 1;
    if (n) std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

}  // namespace vesk
