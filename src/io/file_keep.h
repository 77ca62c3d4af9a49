// What the loaders keep between calls, in one place and under one rule.
//
// A loader family (the static models, MD2, MS3D) owns one KeptFile at module
// level. Its storage stays allocated between loads up to kKeepBytes, so the
// pages of the next read are already mapped; larger files release it after
// the call. Calls of one family never overlap (the header's rule for hosts),
// so nothing here takes a lock or keeps anything per thread. A file the host's
// handler served is held only as long as the family keeps that file, and
// never across a change of handler (DropKeptFiles).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "io/file_read.h"

namespace vesk {

inline constexpr size_t kKeepBytes = size_t{32} << 20;

class KeptFile {
public:
    KeptFile();
    ~KeptFile();
    KeptFile(const KeptFile &) = delete;
    KeptFile &operator=(const KeptFile &) = delete;

    // Reads path anew (what was kept is dropped first).
    bool Read(const char *path);
    // The file at path, reused while it is the one kept and unchanged. fresh
    // tells whether the bytes were read by this call (what was derived from
    // the old ones is stale). With want, at least the first want bytes (all
    // of a shorter file) are held afterwards, not necessarily more.
    //
    // Unchanged on disk: same path and stamp, and a modification time well
    // before the read that filled it (file clocks are coarse, so a file
    // rewritten within the same tick at the same size would otherwise look
    // unchanged). From a handler: same path, and the same bytes address and
    // size while the earlier handle is still held (the host keeps bytes
    // unchanged until their release).
    bool Get(const char *path, bool &fresh, uint64_t want = UINT64_MAX);

    std::span<const uint8_t> bytes() const { return file_.bytes(); }
    std::string_view text() const { return file_.text(); }
    bool complete() const { return file_.complete(); }
    // Whether the file held may be reused by a later Get.
    bool reusable() const { return trusted_; }
    uint64_t fileSize() const { return file_.fileSize(); }
    // Gives a handler's file back and forgets the file; the storage stays
    // for the next one unless it is larger than kKeepBytes.
    void Drop();

private:
    friend void DropKeptFiles();
    ByteBuffer storage_;
    FileBytes file_;
    std::string path_;
    FileStamp stamp_;
    bool trusted_ = false;
    KeptFile *next_ = nullptr;
};

// Drops every family's kept file (a change of file handler does this first).
void DropKeptFiles();

// The static loaders' file for one load: their family's kept file, reused
// while unchanged (a level places the same prop again and again) and kept
// after the load when it may be; a nested load reads into storage of its own.
class ScratchFile {
public:
    ScratchFile();
    ~ScratchFile();
    ScratchFile(const ScratchFile &) = delete;
    ScratchFile &operator=(const ScratchFile &) = delete;
    bool Read(const char *path);
    std::span<const uint8_t> bytes() const { return file_->bytes(); }
    std::string_view text() const { return file_->text(); }

private:
    KeptFile *file_;
    bool borrowed_;
};

}  // namespace vesk
