// Size queries against the exports they size: over every static-model and MD2
// file of the test data and seeded damaged copies, the query's size is what
// the export writes, and an array of exactly that size is never overrun.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "loaders/size_queries.h"
#include "support/sized_output.h"
#include "support/test_support.h"

namespace vesk {
namespace {

using test::DataPath;
using test::Damaged;
using test::MessageCapture;
using test::ReadAll;
using test::SizedOutput;
using test::WriteTemp;

constexpr uint32_t kDamagedCopies = 4;

struct RealFile {
    std::filesystem::path path;
    int32_t type;  // Get3DS_INFO's type; -1 for MD2
};

std::vector<RealFile> FilesOfTheTestData() {
    std::vector<RealFile> files;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(DataPath("assimp"))) {
        if (!entry.is_regular_file()) continue;
        std::string ext = entry.path().extension().string();
        for (char &c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::string dir = entry.path().parent_path().filename().string();
        if (ext == ".3ds" || (dir == "3DS" && ext.empty())) files.push_back({entry.path(), 0});
        else if (ext == ".obj") files.push_back({entry.path(), 1});
        else if (ext == ".ase" || (dir == "ASE" && ext.empty())) files.push_back({entry.path(), 2});
        else if (ext == ".md2") files.push_back({entry.path(), -1});
    }
    std::sort(files.begin(), files.end(), [](const RealFile &a, const RealFile &b) { return a.path < b.path; });
    return files;
}

// The copies of one file the sweep runs on: the file itself, then damaged ones.
std::vector<std::string> Variants(const RealFile &file, const std::string &tag) {
    std::vector<std::string> paths{file.path.string()};
    const std::vector<uint8_t> bytes = ReadAll(file.path.string());
    // Most damage to an MD2 header is refused outright, so it gets more copies;
    // large text files parse slowly under the sanitizers, so they get one.
    const uint32_t copies = file.type < 0 ? 2 * kDamagedCopies : bytes.size() > (256u << 10) ? 1 : kDamagedCopies;
    for (uint32_t seed = 1; seed <= copies; ++seed) {
        const std::string name = tag + "." + std::to_string(seed) + file.path.extension().string();
        // 512 bytes cover the binary headers and the first lines of text files.
        paths.push_back(WriteTemp(name, Damaged(bytes, seed * 7919u + static_cast<uint32_t>(bytes.size()), 512)));
    }
    return paths;
}

// Loads one static file afresh and holds every mesh export to the query.
// Returns the total faces.
int32_t CheckStaticFile(const std::string &path, int32_t type) {
    TheStaticModel().Clear();
    StaticModelInfo info{-1, -1};
    Get3DS_INFO(path.c_str(), &info, type);
    EXPECT_GE(info.objectCount, 0);
    int32_t sum = 0;
    for (int32_t i = -3; i <= info.objectCount + 1; ++i) {
        const int32_t faces = VeskGet3DS_Faces(i);
        SCOPED_TRACE("object " + std::to_string(i));
        if (i == -1) continue;  // the total, checked below
        if (i < 0 || i >= info.objectCount) {
            EXPECT_EQ(faces, -1);
            SizedOutput<PolyVertex> none(0);
            EXPECT_EQ(Get3DS_MESH(0, i, none.data(), nullptr, nullptr, 0), 0);
            EXPECT_TRUE(none.GuardIntact());
            continue;
        }
        EXPECT_GE(faces, 0);
        if (faces < 0) continue;
        sum += faces;
        SizedOutput<PolyVertex> corners(3 * int64_t{faces});
        int32_t count = -1;
        BoundingBox box;
        EXPECT_EQ(Get3DS_MESH(0, i, corners.data(), &count, &box, 0), 3 * faces);
        EXPECT_EQ(count, 3 * faces);
        EXPECT_TRUE(corners.GuardIntact());
        if (faces > 0) {
            EXPECT_TRUE(corners.Written(corners.size() - 1, sizeof(Vector3)));
        }
    }
    const int32_t total = VeskGet3DS_Faces(-1);
    EXPECT_EQ(total, sum);
    SizedOutput<Poly> polys(total);
    int32_t count = -1;
    EXPECT_EQ(Get3DS_MESHPOLY(polys.data(), &count, 0), total);
    EXPECT_EQ(count, info.objectCount > 0 ? total : -1);
    EXPECT_TRUE(polys.GuardIntact());
    if (total > 0) {
        EXPECT_EQ(polys.data()[total - 1].tag, -1);
    }
    return total;
}

int32_t HeaderWord(const std::vector<uint8_t> &bytes, size_t at) {
    int32_t v = 0;
    if (bytes.size() >= at + 4) std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

// One MD2 file: the query against both reading exports, success or failure.
void CheckMd2File(const std::string &path, bool clean, const MessageCapture &messages) {
    const size_t before = messages.messages().size();
    int32_t counts[4] = {-7, -7, -7, -7};
    const VeskBool ok = VeskGetMD2_Counts(path.c_str(), counts);
    const auto queryMessages = std::vector(messages.messages().begin() + static_cast<std::ptrdiff_t>(before),
                                           messages.messages().end());

    SizedOutput<Md2AnimationRange> ranges(ok ? counts[3] : 0);
    int32_t rangeCount = -7;
    EXPECT_EQ(GetMD2_ANIMATIONS(path.c_str(), ranges.data(), &rangeCount), ok);
    EXPECT_TRUE(ranges.GuardIntact());
    if (!ok) {
        // Same failure, same words, nothing written.
        EXPECT_EQ(counts[0], -7);
        EXPECT_EQ(rangeCount, -7);
        ASSERT_EQ(queryMessages.size(), 1u);
        ASSERT_EQ(messages.messages().size(), before + 2);
        EXPECT_EQ(messages.messages().back().text, queryMessages[0].text);
        return;
    }
    EXPECT_TRUE(queryMessages.empty());
    EXPECT_EQ(rangeCount, counts[3]);
    EXPECT_LE(counts[3], counts[0]);
    EXPECT_EQ(counts[2], 3 * counts[1]);
    if (clean) {
        // Against the header as stored: triangles at 32, frames at 40.
        const std::vector<uint8_t> bytes = ReadAll(path);
        EXPECT_EQ(counts[1], HeaderWord(bytes, 32));
        EXPECT_EQ(counts[0], HeaderWord(bytes, 40));
        EXPECT_GT(counts[3], 0);
    }
    for (const int32_t frame : {-1, 0, counts[0] / 2, counts[0] - 1, counts[0]}) {
        SCOPED_TRACE("frame " + std::to_string(frame));
        const bool exists = frame >= 0 && frame < counts[0];
        SizedOutput<Md2Vertex> corners(exists ? counts[2] : 0);
        int32_t count = -7;
        EXPECT_EQ(GetMD2_MESH(path.c_str(), frame, corners.data(), &count), exists ? 1 : 0);
        EXPECT_EQ(count, exists ? counts[2] : -7);
        EXPECT_TRUE(corners.GuardIntact());
        if (exists && counts[2] > 0) {
            EXPECT_TRUE(corners.Written(corners.size() - 1, sizeof(Vector3)));
        }
    }
}

TEST(SizeQueries, RealFilesAndDamagedCopiesNeverWritePastTheQueriedSize) {
    MessageCapture messages;
    int staticFiles = 0, withFaces = 0, md2Files = 0;
    for (const RealFile &file : FilesOfTheTestData()) {
        const auto variants = Variants(file, "sized" + std::to_string(staticFiles + md2Files));
        for (size_t v = 0; v < variants.size(); ++v) {
            SCOPED_TRACE(file.path.string() + (v ? " damaged copy " + std::to_string(v) : std::string()));
            if (file.type < 0) {
                CheckMd2File(variants[v], v == 0, messages);
            } else if (CheckStaticFile(variants[v], file.type) > 0 && v == 0) {
                ++withFaces;
            }
        }
        ++(file.type < 0 ? md2Files : staticFiles);
    }
    EXPECT_GE(staticFiles, 45);
    EXPECT_EQ(md2Files, 2);
    // Most real files hold triangles, so the sizes above were not all zero.
    EXPECT_GE(withFaces, staticFiles / 2);
    TheStaticModel().Clear();
}

// Before any load, and for a missing MD2 file, the queries report nothing to
// write and the exports write nothing.
TEST(SizeQueries, NothingLoadedAndMissingFiles) {
    TheStaticModel().Clear();
    EXPECT_EQ(VeskGet3DS_Faces(-1), 0);
    EXPECT_EQ(VeskGet3DS_Faces(0), -1);
    MessageCapture messages;
    int32_t counts[4] = {5, 5, 5, 5};
    EXPECT_EQ(VeskGetMD2_Counts((test::TempRoot() / "absent.md2").string().c_str(), counts), 0);
    EXPECT_EQ(counts[0], 5);
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].caption, "Error");
    EXPECT_NE(messages.messages()[0].text.find("Unable to find the file: "), std::string::npos);
}

}  // namespace
}  // namespace vesk
