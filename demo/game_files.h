// The demo's file access, as a game has it: the game folder's .pk3 archives
// (zip, read with libzip), looked up case-insensitively with '/', then the
// disk, plus a few files the host makes up in memory. The library reads
// every file through it (VeskSetFileHandler); so do the demo's textures.
#pragma once

#include <VeskMathLIB.h>

#include <map>
#include <string>
#include <vector>

namespace demo {

class GameFiles {
public:
    ~GameFiles();
    // Opens every .pk3 in folder (name order; a later archive's file wins, as
    // in the game). Paths under folder are then looked up in them. False
    // with why when a .pk3 there does not open; no archive at all is not a failure.
    bool Open(const std::string &folder, std::string *why);
    void Close();
    const std::string &folder() const { return folder_; }
    size_t archiveCount() const { return archives_.size(); }

    // A file the host serves from memory under path.
    void Add(const std::string &path, std::string bytes);
    // The file's bytes from memory, the archives or the disk, in that order.
    bool Read(const std::string &path, std::vector<uint8_t> &bytes) const;
    bool Exists(const std::string &path) const;
    // The names (without folder) of the files directly in folder dir whose
    // names end in suffix, from memory, the archives and the disk, sorted,
    // each once (archive names in lower case).
    std::vector<std::string> List(const std::string &dir, const std::string &suffix) const;
    // Writes the archives' files named (relative to the folder) under dir, for a load from disk.
    bool Extract(const std::vector<std::string> &names, const std::string &dir) const;

    // The library's handler over Read, and how often it answered.
    static VeskBool VESK_CALL HandlerRead(const char *path, const void **bytes, uint32_t *size, void **handle);
    static void VESK_CALL HandlerRelease(void *handle);
    int reads = 0, releases = 0;

private:
    struct Entry {
        size_t archive;
        uint64_t index;
    };
    // The archive name of path ("models/players/sarge/head.md3", lower case), or empty.
    std::string ArchiveName(const std::string &path) const;
    bool ReadEntry(const Entry &entry, std::vector<uint8_t> &bytes) const;
    std::string folder_;
    std::vector<void *> archives_;  // zip_t *
    std::map<std::string, Entry> entries_;
    std::map<std::string, std::string> added_;
};

// The demo's one instance: the handler the library is given reads from it.
GameFiles &Files();

}  // namespace demo
