// Damaged MDL data: man.mdl and its texture file cut at every length and
// flipped byte by byte (seeded); whatever validates must pose inside the
// sizes it reports. A pose allocates nothing.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <cstdlib>
#include <new>
#include <random>

#include "characters/mdl_model.h"
#include "characters/mdl_test_util.h"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

// The replaced pair allocates with malloc and frees with free.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void *operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void *p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }

namespace vesk::test {
namespace {

struct Files {
    std::vector<uint8_t> main, textures, group;
};
const Files &Man() {
    static const Files files{ReadAll(DataPath("assimp/MDL/MDL (HL1)/man.mdl")),
                             ReadAll(DataPath("assimp/MDL/MDL (HL1)/manT.mdl")),
                             ReadAll(DataPath("assimp/MDL/MDL (HL1)/man01.mdl"))};
    return files;
}

// Validates the buffers as a load would; a usable model is posed twice per
// sequence into arrays sized from its counts, with a guard record after
// them, and its sequences, textures and mesh ranges are read the same way.
bool ValidateAndPose(std::vector<uint8_t> main, std::vector<uint8_t> textures, std::vector<uint8_t> group) {
    MdlModel model;
    model.speed = 1.0f;
    model.header = std::move(main);
    model.textureFile = std::move(textures);
    model.sequenceGroups.push_back(std::move(group));
    if (!ValidateMdl(model)) return false;
    for (int n = 0; n < 4; ++n) SetController(model, n, 37.0f * static_cast<float>(n) - 40.0f);
    const MdlSizes sizes = MdlMeshSizes(model);
    std::vector<CharacterVertex> records(static_cast<size_t>(sizes.records) + 1);
    records.back().x = 4321.0f;
    std::vector<uint32_t> indices(static_cast<size_t>(sizes.indices) + 1, 0xABCDu);
    const int32_t sequences = MdlSequences(model, nullptr);
    std::vector<VeskMdlSequence> list(static_cast<size_t>(sequences) + 1);
    list.back().frameCount = 4321;
    EXPECT_EQ(MdlSequences(model, list.data()), sequences);
    EXPECT_EQ(list.back().frameCount, 4321);
    const int32_t meshes = MdlMeshRanges(model, nullptr);
    std::vector<int32_t> ranges(3 * static_cast<size_t>(meshes) + 1, 4321);
    EXPECT_EQ(MdlMeshRanges(model, ranges.data()), meshes);
    EXPECT_EQ(ranges.back(), 4321);
    int32_t next = 0;
    for (int32_t k = 0; k < meshes; ++k, next += ranges[3 * k - 2]) EXPECT_EQ(ranges[3 * static_cast<size_t>(k)], next);
    EXPECT_EQ(next, sizes.indices);
    const int32_t textureCount = MdlTexture(model, -1, nullptr, nullptr);
    for (int32_t t = 0; t < textureCount; ++t) {
        int32_t size[2] = {-1, -1};
        MdlTexture(model, t, nullptr, size);
        std::vector<uint8_t> rgba(4 * static_cast<size_t>(size[0]) * static_cast<size_t>(size[1]) + 1, 0xAB);
        MdlTexture(model, t, rgba.data(), size);
        EXPECT_EQ(rgba.back(), 0xAB);
    }
    for (int call = 0; call < 2 * sequences; ++call) {
        int32_t count = -1;
        if (call % 2 == 0) {
            EXPECT_TRUE(SetMdlSequence(model, call / 2));
        }
        model.frame = 1.5f * static_cast<float>(call % 2);
        if (PoseMdl(model, records.data(), &count)) {
            EXPECT_EQ(count, sizes.records);
        }
        EXPECT_EQ(MdlTriangles(model, indices.data()), sizes.indices);
    }
    EXPECT_EQ(records.back().x, 4321.0f);
    EXPECT_EQ(indices.back(), 0xABCDu);
    for (int32_t i = 0; i < sizes.indices; ++i) EXPECT_LT(indices[static_cast<size_t>(i)], static_cast<uint32_t>(sizes.records));
    return true;
}

TEST(MdlDamage, EveryCutOfTheMainAndTextureFile) {
    FakeClock clock(5000);
    const Files &man = Man();
    ASSERT_TRUE(ValidateAndPose(man.main, man.textures, man.group));
    int usable = 0;
    for (size_t n = 0; n < man.main.size(); ++n)
        usable += ValidateAndPose({man.main.begin(), man.main.begin() + static_cast<std::ptrdiff_t>(n)}, man.textures,
                                  man.group);
    // Only cuts that keep every table the model uses can pose.
    EXPECT_LT(usable, static_cast<int>(man.main.size()) / 4);
    // The texture file is needed through its last palette.
    int32_t end = 0, table, count;
    std::memcpy(&count, man.textures.data() + 180, 4);
    std::memcpy(&table, man.textures.data() + 184, 4);
    for (int32_t t = 0; t < count; ++t) {
        int32_t record[3];
        std::memcpy(record, man.textures.data() + table + 80 * t + 68, 12);
        end = std::max(end, record[2] + record[0] * record[1] + 768);
    }
    ASSERT_GT(end, table + 80 * count);
    for (size_t n = 0; n < man.textures.size(); ++n) {
        const bool cutUsable =
            ValidateAndPose(man.main, {man.textures.begin(), man.textures.begin() + static_cast<std::ptrdiff_t>(n)}, man.group);
        if (n < static_cast<size_t>(end)) {
            EXPECT_FALSE(cutUsable) << n;
        }
    }
}

TEST(MdlDamage, SeededByteFlips) {
    FakeClock clock(7000);
    const Files &man = Man();
    std::mt19937 rng(2024);
    int usable = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        Files f = man;
        std::vector<uint8_t> &target = trial % 5 == 4 ? f.textures : f.main;
        const int flips = 1 + static_cast<int>(rng() % 6);
        for (int k = 0; k < flips; ++k) {
            // Half the flips hit the header's counts and offsets.
            const size_t at = rng() % 2 ? 140 + rng() % 72 : rng() % target.size();
            const uint8_t values[] = {0x00, 0xFF, 0x7F, 0x80, static_cast<uint8_t>(rng())};
            target[at] = values[rng() % 5];
        }
        usable += ValidateAndPose(f.main, f.textures, f.group);
    }
    EXPECT_GT(usable, 0);  // some flips only move values, which still pose
}

TEST(MdlDamage, APoseAllocatesNothing) {
    ReuseMdlSlots();
    FakeClock clock(9000);
    int32_t textures = 0;
    const int32_t index = GetmodelMDL(DataPath("assimp/MDL/MDL (HL1)/man.mdl").c_str(), &textures) - 1;
    int32_t sizes[2];
    VeskGetModelMDLcounts(index, sizes);
    std::vector<CharacterVertex> records(static_cast<size_t>(sizes[0]));
    std::vector<uint32_t> indices(static_cast<size_t>(sizes[1]));
    int32_t count = 0;
    const long before = g_allocations.load();
    for (int i = 0; i < 50; ++i) {
        clock.Advance(16);
        GetModelMDLmesh(index, records.data(), &count);
        VeskGetModelMDLtriangles(index, indices.data(), &count);
        VeskGetModelMDLcounts(index, sizes);
    }
    EXPECT_EQ(g_allocations.load(), before);
    EXPECT_EQ(count, sizes[1]);
    std::vector<CharacterVertex> probe(1);  // the counter does count
    EXPECT_GT(g_allocations.load(), before);
}

}  // namespace
}  // namespace vesk::test
