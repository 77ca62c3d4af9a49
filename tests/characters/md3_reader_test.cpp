#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "characters/md3_model.h"
#include "characters/md3_test_util.h"

namespace vesk::test {
namespace {

// A model that already holds one mesh, two tags and a link, to see what a load changes.
void Prefill(Md3Model &m) {
    ASSERT_TRUE(ParseMd3(m, BuildMd3(1, 2, {{"tag_a"}, {"tag_b"}}, {SimpleSurface("old", 3)}), "prefill"));
    m.links[1] = &m;
}

void ExpectUnchanged(const Md3Model &m) {
    ASSERT_EQ(m.meshCount, 1);
    ASSERT_EQ(m.meshes.size(), 1u);
    EXPECT_STREQ(m.meshes[0].name, "old");
    EXPECT_EQ(m.tagCount, 2);
    ASSERT_EQ(m.tags.size(), 2u);
    EXPECT_STREQ(m.tags[1].name, "tag_b");
    ASSERT_EQ(m.links.size(), 2u);
    EXPECT_EQ(m.links[1], &m);
}

TEST(Md3Reader, WrongIdentifierOrVersionShowsFormatMessageAndChangesNothing) {
    auto good = BuildMd3(1, 0, {}, {SimpleSurface("s", 3)});
    auto ident = good;
    ident[3] = '2';
    auto version = good;
    version[4] = 16;
    for (const auto &bytes : {ident, version}) {
        Md3Model m;
        Prefill(m);
        MessageCapture messages;
        EXPECT_FALSE(ParseMd3(m, bytes, "x.md3"));
        ASSERT_EQ(messages.messages().size(), 1u);
        EXPECT_EQ(messages.messages()[0].caption, "Error");
        EXPECT_EQ(messages.messages()[0].text, "Invalid file format (Version not 15): x.md3!");
        ExpectUnchanged(m);
    }
}

TEST(Md3Reader, ConvertsVerticesTexCoordsFacesAndTags) {
    SurfaceDef s;
    s.name = "u_torso";
    s.frames = 2;
    s.vertexCount = 3;
    s.vertices = {{64, -128, 1}, {0, 0, 0}, {-64, 32, 640}, {1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    s.texCoords = {{0.25f, -0.5f}, {1.5f, 2.0f}, {0.0f, 1.0f}};
    s.triangles = {{2, 0, 1}};
    s.shaders = 3;
    TagDef tag{"tag_head", {1.5f, -2.0f, 3.0f}, {{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}}};
    TagDef tag2{"tag_head", {9.0f, 8.0f, 7.0f}};
    Md3Model m;
    ASSERT_TRUE(ParseMd3(m, BuildMd3(2, 1, {tag, tag2}, {s}), "t"));
    ASSERT_EQ(m.meshCount, 1);
    const Md3Mesh &mesh = m.meshes[0];
    EXPECT_STREQ(mesh.name, "u_torso");
    EXPECT_EQ(mesh.vertexCount, 3);
    EXPECT_EQ(mesh.texCoordCount, 3);
    EXPECT_EQ(mesh.faceCount, 1);
    EXPECT_EQ(mesh.materialIndex, 0);
    EXPECT_FALSE(mesh.hasTexture);
    EXPECT_TRUE(mesh.normals.empty());
    ASSERT_EQ(mesh.vertices.size(), 6u);
    EXPECT_EQ(mesh.vertices[0].x, 1.0f);
    EXPECT_EQ(mesh.vertices[0].y, -2.0f);
    EXPECT_EQ(mesh.vertices[0].z, 0.015625f);
    EXPECT_EQ(mesh.vertices[2].z, 10.0f);  // no axis swapped or negated
    EXPECT_EQ(mesh.vertices[5].x, 7.0f / 64.0f);
    EXPECT_EQ(mesh.texCoords[0].u, 0.25f);
    EXPECT_EQ(mesh.texCoords[0].v, -0.5f);
    EXPECT_EQ(mesh.faces[0].vertexIndex[0], 2);
    EXPECT_EQ(mesh.faces[0].vertexIndex[1], 0);
    EXPECT_EQ(mesh.faces[0].vertexIndex[2], 1);
    EXPECT_EQ(mesh.faces[0].texCoordIndex[0], 2);
    EXPECT_EQ(mesh.faces[0].texCoordIndex[2], 1);
    EXPECT_EQ(mesh.FrameCount(), 2);
    ASSERT_EQ(m.tagCount, 1);
    ASSERT_EQ(m.tags.size(), 2u);
    EXPECT_EQ(m.tags[0].origin.y, -2.0f);
    EXPECT_EQ(m.tags[0].axis[1].x, -1.0f);
    EXPECT_EQ(m.tags[1].origin.z, 7.0f);
    ASSERT_EQ(m.links.size(), 1u);
    EXPECT_EQ(m.links[0], nullptr);
}

TEST(Md3Reader, SurfacesFollowEachSurfacesEndOffset) {
    SurfaceDef a = SimpleSurface("first", 3);
    a.padding = 52;  // a gap the header's own offsets know nothing of
    a.shaders = 0;
    SurfaceDef b = SimpleSurface("second", 6);
    Md3Model m;
    ASSERT_TRUE(ParseMd3(m, BuildMd3(1, 0, {}, {a, b}), "t"));
    ASSERT_EQ(m.meshCount, 2);
    EXPECT_STREQ(m.meshes[1].name, "second");
    EXPECT_EQ(m.meshes[1].vertexCount, 6);
    EXPECT_EQ(m.meshes[1].vertices[5].y, 10.0f);
}

TEST(Md3Reader, AppendsMeshesAndReplacesTagsOnEveryLoad) {
    Md3Model m;
    Prefill(m);
    // No tags and no surfaces: no mesh added, tags and links emptied.
    ASSERT_TRUE(ParseMd3(m, BuildMd3(1, 0, {}, {}), "t"));
    EXPECT_EQ(m.meshCount, 1);
    EXPECT_EQ(m.tagCount, 0);
    EXPECT_TRUE(m.tags.empty());
    EXPECT_TRUE(m.links.empty());
    const auto file = BuildMd3(1, 1, {{"tag_torso"}}, {SimpleSurface("l_legs", 3)});
    ASSERT_TRUE(ParseMd3(m, file, "t"));
    ASSERT_TRUE(ParseMd3(m, file, "t"));
    EXPECT_EQ(m.meshCount, 3);
    EXPECT_EQ(m.meshes.size(), 3u);
    EXPECT_STREQ(m.meshes[2].name, "l_legs");
    EXPECT_EQ(m.tagCount, 1);
    EXPECT_STREQ(m.tags[0].name, "tag_torso");
}

// Each case breaks one field of a valid file.
TEST(Md3Reader, CorruptFilesAreRefusedWithoutChangingTheModel) {
    const auto valid = BuildMd3(1, 1, {{"tag_torso"}}, {SimpleSurface("a", 3), SimpleSurface("b", 3)});
    const size_t surface = 108 + 56 + 112;
    struct Case {
        const char *what;
        size_t at;
        int32_t value;
    };
    const Case cases[] = {
        {"negative frame count", 76, -1},
        {"negative tag count", 80, -5},
        {"negative surface count", 84, -1},
        {"frames beyond the data", 76, 0x10000000},
        {"tags beyond the data", 80, 1000},
        {"too many surfaces", 84, 3},
        {"negative vertex count", surface + 80, -3},
        {"negative triangle count", surface + 84, -1},
        {"negative shader count", surface + 76, -1},
        {"shaders beyond the data", surface + 76, 100000},
        {"triangles beyond the data", surface + 88, 0x7fffff00},
        {"triangle offset before the file", surface + 88, -1000},
        {"texture coordinates beyond the data", surface + 96, 100000},
        {"vertices beyond the data", surface + 100, 100000},
        {"vertex frames beyond the data", surface + 72, 0x7fffffff},
        {"end offset of zero", surface + 104, 0},
        {"end offset backwards", surface + 104, -276},
        {"end offset beyond the data", surface + 104, 1 << 30},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        auto bytes = valid;
        std::memcpy(bytes.data() + c.at, &c.value, 4);
        Md3Model m;
        Prefill(m);
        MessageCapture messages;
        EXPECT_FALSE(ParseMd3(m, bytes, "bad.md3"));
        ASSERT_EQ(messages.messages().size(), 1u);
        EXPECT_EQ(messages.messages()[0].caption, "Error");
        EXPECT_EQ(messages.messages()[0].text, "Invalid file format (corrupt data): bad.md3!");
        ExpectUnchanged(m);
    }
}

// Without frames a file has no tag records, yet its tag count sizes the links:
// the count may not claim more than one frame's records the file could hold.
TEST(Md3Reader, FramelessFilesCannotClaimMoreTagsThanTheyHold) {
    // 108 header + 236 surface bytes leave room for two 112-byte records, not three.
    const auto surfaces = std::vector<SurfaceDef>{SimpleSurface("s", 3)};
    const size_t size = BuildMd3(0, 0, {}, surfaces).size();
    ASSERT_EQ((size - 108) / 112, 2u);
    Md3Model fits;
    ASSERT_TRUE(ParseMd3(fits, BuildMd3(0, 2, {}, surfaces), "fits.md3"));
    EXPECT_EQ(fits.tagCount, 2);
    EXPECT_EQ(fits.links.size(), 2u);
    EXPECT_TRUE(fits.tags.empty());
    EXPECT_EQ(fits.meshCount, 1);

    for (int32_t tags : {3, 255021124, INT32_MAX}) {
        SCOPED_TRACE(tags);
        Md3Model m;
        Prefill(m);
        MessageCapture messages;
        EXPECT_FALSE(ParseMd3(m, BuildMd3(0, tags, {}, surfaces), "claims.md3"));
        ASSERT_EQ(messages.messages().size(), 1u);
        EXPECT_EQ(messages.messages()[0].text, "Invalid file format (corrupt data): claims.md3!");
        ExpectUnchanged(m);
    }
}

TEST(Md3Reader, NamesWithoutTerminatorAreCorrupt) {
    Md3Model m;
    Prefill(m);
    MessageCapture messages;
    EXPECT_FALSE(ParseMd3(m, BuildMd3(1, 0, {}, {SimpleSurface(std::string(64, 'n'), 3)}), "s"));
    EXPECT_FALSE(ParseMd3(m, BuildMd3(1, 1, {{std::string(64, 't')}}, {}), "t"));
    EXPECT_EQ(messages.messages().size(), 2u);
    ExpectUnchanged(m);
    // 63 characters and the terminator fit.
    EXPECT_TRUE(ParseMd3(m, BuildMd3(1, 0, {}, {SimpleSurface(std::string(63, 'n'), 3)}), "s"));
    EXPECT_EQ(std::strlen(m.meshes[1].name), 63u);
}

TEST(Md3Reader, SurfacesSharingOneDataBlockCannotMultiplyTheFile) {
    // Surfaces whose vertex records all point back at the first surface's block.
    auto build = [](int32_t count, int32_t frames, int32_t vertices) {
        ByteWriter w;
        w.bytes = BuildMd3(1, 0, {}, {SimpleSurface("big", vertices, frames)});
        const size_t surface = 108 + 56;
        int32_t xyz;
        std::memcpy(&xyz, w.bytes.data() + surface + 100, 4);
        w.PutAt<int32_t>(84, count);
        for (int32_t s = 1; s < count; ++s) {
            const int32_t back = -static_cast<int32_t>(w.bytes.size() - surface);
            w.Fixed("IDP3", 4);
            w.Fixed("copy", 64);
            w.Put<int32_t>(0);
            for (int32_t v : {frames, 0, vertices, 0, 108, 108, back + 108, back + xyz, 108}) w.Put(v);
        }
        return w.bytes;
    };
    Md3Model small;
    ASSERT_TRUE(ParseMd3(small, build(3, 1, 3), "small.md3"));  // a little sharing is fine
    ASSERT_EQ(small.meshCount, 3);
    EXPECT_EQ(small.meshes[2].vertices[2].z, 6.0f);
    Md3Model m;
    MessageCapture messages;
    EXPECT_FALSE(ParseMd3(m, build(200, 20, 300), "amplify.md3"));
    EXPECT_EQ(m.meshCount, 0);
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].text, "Invalid file format (corrupt data): amplify.md3!");
}

// Every shorter length of a real file fails cleanly; byte flips never read
// outside the data (the sanitizer build checks) and never half-load a model.
TEST(Md3Reader, TruncatedAndFlippedRealFilesFailCleanly) {
    const std::vector<uint8_t> head = ReadAll(DataPath("openarena/models/players/sarge/head.md3"));
    ASSERT_GT(head.size(), 1000u);
    MessageCapture messages;
    for (size_t len = 0; len < head.size(); ++len) {
        Md3Model m;
        Prefill(m);
        ASSERT_FALSE(ParseMd3(m, std::span(head.data(), len), "cut")) << len;
        ExpectUnchanged(m);
    }
    const std::vector<uint8_t> weapon = ReadAll(DataPath("openarena/models/weapons2/machinegun/machinegun.md3"));
    ASSERT_GT(weapon.size(), 1000u);
    std::mt19937 rng(1234);
    std::uniform_int_distribution<size_t> anywhere(0, weapon.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    int failed = 0;
    for (int i = 0; i < 3000; ++i) {
        auto bytes = weapon;
        // Half the flips hit the headers, where counts and offsets live.
        const size_t at = i % 2 ? anywhere(rng) : (i / 2) % 400;
        bytes[at] = static_cast<uint8_t>(bytes[at] ^ (1 + byte(rng) % 255));
        Md3Model m;
        Prefill(m);
        if (!ParseMd3(m, bytes, "flip")) {
            ++failed;
            ExpectUnchanged(m);
        } else {
            EXPECT_EQ(m.meshCount, 3);
        }
    }
    EXPECT_GT(failed, 50);
}

}  // namespace
}  // namespace vesk::test
