// A host that loads the library by name sizes every output array from the
// size queries, as the header tells it to; user content arrives damaged.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <VeskMathLIB.h>

#include "host_dl.h"
#include "support/sized_output.h"
#include "support/test_support.h"

namespace {

using vesk::test::DataPath;
using vesk::test::Damaged;
using vesk::test::ReadAll;
using vesk::test::SizedOutput;
using vesk::test::TempDir;

void VESK_CALL Quiet(const char *, const char *) {}

class SizeQueryHost : public ::testing::Test {
protected:
    void SetUp() override {
        lib_ = VeskOpen(VeskLibraryName());
        ASSERT_NE(lib_, nullptr) << VeskLibraryName() << ": " << dlerror();
        const auto setMessages = VeskResolve<void(VESK_CALL *)(VeskMessageHandler)>(lib_, "VeskSetMessageHandler");
        ASSERT_NE(setMessages, nullptr);
        setMessages(&Quiet);
    }
    void TearDown() override {
        if (lib_) VeskClose(lib_);
    }
    template <class Fn>
    Fn Get(const char *name) {
        const Fn fn = VeskResolve<Fn>(lib_, name);
        EXPECT_NE(fn, nullptr) << name;
        return fn;
    }
    VeskModule lib_ = nullptr;
};

// The case: a player whose lower.md3 was damaged loads, and the arrays
// sized from VeskGetModelMD3counts hold exactly what GetModelMD3mesh writes.
TEST_F(SizeQueryHost, DamagedPlayersFitTheQueriedArrays) {
    const auto load = Get<int32_t(VESK_CALL *)(const char *)>("GetModelMD3");
    const auto query = Get<void(VESK_CALL *)(int32_t, int32_t *)>("VeskGetModelMD3counts");
    const auto mesh = Get<int32_t(VESK_CALL *)(int32_t, CharacterVertex *, CharacterVertex *, CharacterVertex *,
                                               CharacterVertex *, int32_t *, float *)>("GetModelMD3mesh");
    ASSERT_TRUE(load && query && mesh);
    const std::string sarge = DataPath("openarena/models/players/sarge");
    // A load that fails reports the count so far: other tests of this process may have loaded players.
    int32_t players = load(TempDir("host_player_absent").append("/absent").c_str());
    int posed = 0;
    for (uint32_t seed = 0; seed < 8; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const std::string dir = TempDir("host_player" + std::to_string(seed));
        for (const char *f : {"upper.md3", "head.md3", "lower_default.skin", "upper_default.skin",
                              "head_default.skin", "animation.cfg"})
            std::filesystem::copy_file(sarge + "/" + f, dir + "/" + f);
        std::vector<uint8_t> lower = ReadAll(sarge + "/lower.md3");
        if (seed > 0) lower = Damaged(std::move(lower), seed, 4096);
        std::filesystem::rename(vesk::test::WriteTemp("host_lower" + std::to_string(seed), lower), dir + "/lower.md3");
        const int32_t before = players;
        players = load(dir.c_str());
        const int32_t slot = players > before ? players - 1 : before;
        int32_t counts[4] = {-1, -1, -1, -1};
        query(slot, counts);
        std::vector<SizedOutput<CharacterVertex>> parts;
        for (const int32_t c : counts) parts.emplace_back(c);
        int32_t written[4] = {0, 0, 0, 0};
        float box[6];
        mesh(slot, parts[0].data(), parts[1].data(), parts[2].data(), parts[3].data(), written, box);
        for (size_t p = 0; p < 4; ++p) {
            EXPECT_EQ(written[p], counts[p]) << "part " << p;
            EXPECT_TRUE(parts[p].GuardIntact()) << "part " << p;
        }
        if (seed == 0) {
            ASSERT_EQ(players, before + 1);
            EXPECT_GT(counts[0], 0);
        }
        posed += players > before ? 1 : 0;
    }
    EXPECT_GT(posed, 1);
}

}  // namespace
