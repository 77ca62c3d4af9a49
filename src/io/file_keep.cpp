#include "io/file_keep.h"

#include <chrono>

#include "frame/platform.h"

namespace vesk {
namespace {

// Every live KeptFile, for DropKeptFiles. A plain pointer is constant
// initialised, so families defined in other files may register in any order.
KeptFile *g_keptFiles = nullptr;

// Larger than any file clock's tick (FAT keeps two seconds).
constexpr int64_t kRacyMarginNs = int64_t{3} * 1000000000;

int64_t WallClockNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

KeptFile::KeptFile() : next_(g_keptFiles) { g_keptFiles = this; }

KeptFile::~KeptFile() {
    for (KeptFile **p = &g_keptFiles; *p; p = &(*p)->next_)
        if (*p == this) {
            *p = next_;
            break;
        }
    // At unload a handler's file still held goes back to the host here.
    file_.Reset();
}

bool KeptFile::Read(const char *path) {
    Drop();
    return file_.Read(path, storage_);
}

bool KeptFile::Get(const char *path, bool &fresh, uint64_t want) {
    fresh = false;
    if (!path) return false;
    if (CurrentFileHandler().read) {
        FileBytes next;
        // The kept file stays held while the handler answers, so an address
        // it gives again is still that file's.
        if (!next.Read(path, storage_)) {
            Drop();
            return false;
        }
        if (trusted_ && file_.hosted() && path_ == path && next.data() == file_.data() &&
            next.size() == file_.size())
            return true;  // next is given back as it goes
        Drop();
        file_ = std::move(next);
        path_ = path;
        trusted_ = file_.hosted();
        fresh = true;
        return true;
    }
    if (trusted_ && !file_.hosted() && path_ == path && (complete() || bytes().size() >= want)) {
        FileStamp now;
        if (StampFile(path, now) && now == stamp_) return true;
    }
    Drop();
    fresh = true;
    const int64_t readAt = WallClockNs();
    ReadOptions options;
    options.prefix = want;
    options.stamp = &stamp_;
    if (!file_.Read(path, storage_, options)) {
        Drop();
        return false;
    }
    // Only bytes that agree with the stamp (all of them, or the prefix of a
    // longer file) are trusted later.
    const size_t held = bytes().size();
    const bool consistent = complete() ? stamp_.size == held : held == want && stamp_.size > want;
    if (consistent && stamp_.size <= kKeepBytes && stamp_.modifiedNs < readAt - kRacyMarginNs) {
        path_ = path;
        trusted_ = true;
    }
    return true;
}

void KeptFile::Drop() {
    file_.Reset();
    if (storage_.capacity() > kKeepBytes) storage_.Release();
    storage_.SetSize(0);
    path_.clear();
    trusted_ = false;
}

void DropKeptFiles() {
    for (KeptFile *f = g_keptFiles; f; f = f->next_) f->Drop();
}

namespace {
KeptFile g_staticFile;
bool g_staticFileInUse = false;
}  // namespace

ScratchFile::ScratchFile() : file_(&g_staticFile), borrowed_(!g_staticFileInUse) {
    if (!borrowed_) file_ = new KeptFile;
    else g_staticFileInUse = true;
}

ScratchFile::~ScratchFile() {
    if (!borrowed_) {
        delete file_;
        return;
    }
    if (!file_->reusable()) file_->Drop();
    g_staticFileInUse = false;
}

bool ScratchFile::Read(const char *path) {
    if (!borrowed_) return file_->Read(path);
    bool fresh = false;
    return file_->Get(path, fresh);
}

}  // namespace vesk
