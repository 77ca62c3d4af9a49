#include "game_files.h"

#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <memory>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace demo {
namespace {

std::string Lower(std::string s) {
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Slashes(std::string s) {
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

}  // namespace

GameFiles &Files() {
    static GameFiles files;
    return files;
}

GameFiles::~GameFiles() { Close(); }

void GameFiles::Close() {
    for (void *a : archives_) zip_discard(static_cast<zip_t *>(a));
    archives_.clear();
    entries_.clear();
    folder_.clear();
}

bool GameFiles::Open(const std::string &folder, std::string *why) {
    Close();
    folder_ = Slashes(folder);
    while (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
    std::vector<std::string> paks;
    std::error_code ec;
    for (const auto &e : std::filesystem::directory_iterator(folder_, ec))
        if (Lower(e.path().extension().string()) == ".pk3") paks.push_back(e.path().string());
    std::sort(paks.begin(), paks.end());
    for (const std::string &pak : paks) {
        int error = 0;
        zip_t *z = zip_open(pak.c_str(), ZIP_RDONLY, &error);
        if (!z) {
            if (why) *why = "cannot open " + pak + " (libzip error " + std::to_string(error) + ")";
            return false;
        }
        const size_t a = archives_.size();
        archives_.push_back(z);
        const zip_int64_t n = zip_get_num_entries(z, 0);
        for (zip_int64_t i = 0; i < n; ++i)
            if (const char *name = zip_get_name(z, static_cast<zip_uint64_t>(i), 0))
                entries_[Lower(Slashes(name))] = {a, static_cast<uint64_t>(i)};
    }
    return true;
}

void GameFiles::Add(const std::string &path, std::string bytes) { added_[Slashes(path)] = std::move(bytes); }

std::string GameFiles::ArchiveName(const std::string &path) const {
    const std::string p = Slashes(path);
    if (folder_.empty() || p.size() <= folder_.size() + 1 || p.compare(0, folder_.size(), folder_) != 0 ||
        p[folder_.size()] != '/')
        return {};
    return Lower(p.substr(folder_.size() + 1));
}

bool GameFiles::ReadEntry(const Entry &entry, std::vector<uint8_t> &bytes) const {
    zip_t *z = static_cast<zip_t *>(archives_[entry.archive]);
    zip_stat_t st;
    if (zip_stat_index(z, entry.index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) return false;
    zip_file_t *f = zip_fopen_index(z, entry.index, 0);
    if (!f) return false;
    bytes.resize(static_cast<size_t>(st.size));
    const zip_int64_t got = zip_fread(f, bytes.data(), bytes.size());
    zip_fclose(f);
    return got == static_cast<zip_int64_t>(bytes.size());
}

bool GameFiles::Read(const std::string &path, std::vector<uint8_t> &bytes) const {
    if (const auto a = added_.find(Slashes(path)); a != added_.end()) {
        bytes.assign(a->second.begin(), a->second.end());
        return true;
    }
    const std::string name = ArchiveName(path);
    if (!name.empty())
        if (const auto e = entries_.find(name); e != entries_.end()) return ReadEntry(e->second, bytes);
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool GameFiles::Exists(const std::string &path) const {
    if (added_.count(Slashes(path))) return true;
    const std::string name = ArchiveName(path);
    if (!name.empty() && entries_.count(name)) return true;
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

std::vector<std::string> GameFiles::List(const std::string &dir, const std::string &suffix) const {
    std::set<std::string> names;
    const auto take = [&](const std::string &name) {
        if (name.size() > suffix.size() && name.find('/') == std::string::npos &&
            Lower(name.substr(name.size() - suffix.size())) == Lower(suffix))
            names.insert(name);
    };
    const std::string prefix = Slashes(dir) + "/";
    for (const auto &[path, bytes] : added_)
        if (path.compare(0, prefix.size(), prefix) == 0) take(path.substr(prefix.size()));
    if (const std::string inArchive = ArchiveName(dir + "/x"); !inArchive.empty()) {
        const std::string folder = inArchive.substr(0, inArchive.size() - 1);
        for (auto e = entries_.lower_bound(folder); e != entries_.end() && e->first.compare(0, folder.size(), folder) == 0; ++e)
            take(e->first.substr(folder.size()));
    }
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator(dir, ec)) take(entry.path().filename().string());
    return {names.begin(), names.end()};
}

bool GameFiles::Extract(const std::vector<std::string> &names, const std::string &dir) const {
    for (const std::string &name : names) {
        std::vector<uint8_t> bytes;
        if (!Read(folder_ + "/" + name, bytes)) return false;
        const std::filesystem::path to = std::filesystem::path(dir) / name;
        std::error_code ec;
        std::filesystem::create_directories(to.parent_path(), ec);
        std::ofstream out(to, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) return false;
    }
    return true;
}

VeskBool VESK_CALL GameFiles::HandlerRead(const char *path, const void **bytes, uint32_t *size, void **handle) {
    auto file = std::make_unique<std::vector<uint8_t>>();
    if (!Files().Read(path, *file) || file->size() > UINT32_MAX) return 0;
    ++Files().reads;
    *bytes = file->data();
    *size = static_cast<uint32_t>(file->size());
    *handle = file.release();
    return 1;
}

void VESK_CALL GameFiles::HandlerRelease(void *handle) {
    ++Files().releases;
    delete static_cast<std::vector<uint8_t> *>(handle);
}

}  // namespace demo
