#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "loaders/static_model.h"
#include "loaders/static_test_util.h"

namespace vesk {
namespace {

using namespace test;

constexpr const char *kName = "model.3ds";

Chunk Triangle(std::string_view name, std::vector<Chunk> faceKids = {}) {
    return ObjectChunk(name, VertexData({{1.5f, -2.0f, 3.25f}, {4, 5, 6}, {7, 8, 10}}), FaceData({{0, 1, 2}}),
                       std::move(faceKids));
}

Chunk FaceMaterial(std::string_view name) {
    Bytes data = NameData(name);
    PutU16(data, 1);
    PutU16(data, 0);  // face 0 uses it
    return Chunk(0x4130, data);
}

TEST(Load3ds, ReadsObjectsMaterialsAndFacesAsStored) {
    StaticModel model;
    MessageCapture messages;
    const Bytes file = File3ds({MaterialChunk("Wood", "wood.bmp", 1, 2, 3), MaterialChunk("Plain"),
                                ObjectChunk("Box", VertexData({{1.5f, -2.0f, 3.25f}, {4, 5, 6}, {7, 8, 10}}),
                                            FaceData({{0, 1, 2}, {2, 1, 0}}), {FaceMaterial("Wood")},
                                            TexData({{0.25f, 0.75f}, {1, 0}, {0, 1}}))});
    ASSERT_TRUE(Parse3ds(file, kName, model));
    EXPECT_TRUE(messages.messages().empty());
    ASSERT_EQ(model.objectCount, 1);
    ASSERT_EQ(model.materialCount, 2);
    const StaticObject &o = model.objects[0];
    EXPECT_STREQ(o.name, "Box");
    ASSERT_EQ(o.vertexCount, 3);
    // No axis is swapped or negated.
    EXPECT_EQ(o.vertices[0].x, 1.5f);
    EXPECT_EQ(o.vertices[0].y, -2.0f);
    EXPECT_EQ(o.vertices[0].z, 3.25f);
    EXPECT_EQ(o.vertices[2].z, 10.0f);
    ASSERT_EQ(o.faceCount, 2);
    EXPECT_EQ(o.faces[1].vertexIndex[0], 2);
    EXPECT_EQ(o.faces[1].vertexIndex[2], 0);
    EXPECT_EQ(o.faces[1].texCoordIndex[0], 0);
    ASSERT_EQ(o.texCoordCount, 3);
    EXPECT_EQ(o.texCoords[0].u, 0.25f);
    EXPECT_EQ(o.texCoords[0].v, 0.75f);
    EXPECT_EQ(o.materialIndex, 0);
    EXPECT_TRUE(o.hasTexture);
    EXPECT_FALSE(o.texCoordsPerCorner);
    EXPECT_EQ(o.normals.size(), 3u);
    EXPECT_STREQ(model.materials[0].name, "Wood");
    EXPECT_STREQ(model.materials[0].textureFile, "wood.bmp");
    EXPECT_EQ(model.materials[0].colour[0], 1);
    EXPECT_EQ(model.materials[0].colour[2], 3);
    EXPECT_STREQ(model.materials[1].textureFile, "");
    EXPECT_EQ(model.materials[1].colour[1], 20);
}

TEST(Load3ds, FaceMaterialLookup) {
    StaticModel model;
    ASSERT_TRUE(Parse3ds(File3ds({MaterialChunk("Tex", "t.bmp"), MaterialChunk("Untex"),
                                  Triangle("untextured", {FaceMaterial("Untex")}),
                                  Triangle("unknown", {FaceMaterial("Nope")}), Triangle("none"),
                                  Triangle("case", {FaceMaterial("tex")}), Triangle("textured", {FaceMaterial("Tex")})}),
                         kName, model));
    ASSERT_EQ(model.objectCount, 5);
    // Material without a texture map: index set, hasTexture stays false.
    EXPECT_EQ(model.objects[0].materialIndex, 1);
    EXPECT_FALSE(model.objects[0].hasTexture);
    // A name that matches none, and a case-different one: -1.
    EXPECT_EQ(model.objects[1].materialIndex, -1);
    EXPECT_EQ(model.objects[3].materialIndex, -1);
    // No face-material chunk: the fresh 0.
    EXPECT_EQ(model.objects[2].materialIndex, 0);
    EXPECT_FALSE(model.objects[2].hasTexture);
    EXPECT_EQ(model.objects[4].materialIndex, 0);
    EXPECT_TRUE(model.objects[4].hasTexture);

    // Without any material the index is left as it is (0), even for a name.
    StaticModel bare;
    ASSERT_TRUE(Parse3ds(File3ds({Triangle("x", {FaceMaterial("Tex")})}), kName, bare));
    EXPECT_EQ(bare.objects[0].materialIndex, 0);
}

TEST(Load3ds, LookupSearchesMaterialsOfEarlierLoadsAndLoadsAppend) {
    StaticModel model;
    ASSERT_TRUE(Parse3ds(File3ds({MaterialChunk("A"), MaterialChunk("B", "b.tga"), Triangle("one")}), kName, model));
    ASSERT_TRUE(Parse3ds(File3ds({Triangle("two", {FaceMaterial("B")})}), kName, model));
    ASSERT_EQ(model.objectCount, 2);
    EXPECT_EQ(model.materialCount, 2);
    EXPECT_STREQ(model.objects[0].name, "one");
    EXPECT_EQ(model.objects[1].materialIndex, 1);
    EXPECT_TRUE(model.objects[1].hasTexture);
    // The same file again doubles both counts.
    const Bytes file = File3ds({MaterialChunk("C"), Triangle("three"), Triangle("four")});
    ASSERT_TRUE(Parse3ds(file, kName, model));
    ASSERT_TRUE(Parse3ds(file, kName, model));
    EXPECT_EQ(model.objectCount, 6);
    EXPECT_EQ(model.materialCount, 4);
    EXPECT_EQ(model.objects.size(), 6u);
    EXPECT_STREQ(model.objects[5].name, "four");
    EXPECT_STREQ(model.materials[3].name, "C");
}

TEST(Load3ds, PrimaryChunkMissingIsAnErrorThatChangesNothing) {
    StaticModel model;
    ASSERT_TRUE(Parse3ds(File3ds({Triangle("kept")}), kName, model));
    Bytes wrong = File3ds({Triangle("x")});
    wrong[0] = 0x4C;  // 0x4D4C
    MessageCapture messages;
    EXPECT_FALSE(Parse3ds(wrong, "dir/file.3ds", model));
    EXPECT_FALSE(Parse3ds(Bytes{}, "dir/file.3ds", model));
    EXPECT_FALSE(Parse3ds(Bytes{0x4D, 0x4D, 0x10}, "dir/file.3ds", model));
    ASSERT_EQ(messages.messages().size(), 3u);
    EXPECT_EQ(messages.messages()[0].caption, "Error");
    EXPECT_EQ(messages.messages()[0].text, "Unable to load PRIMARY chuck from file: dir/file.3ds!");
    EXPECT_EQ(model.objectCount, 1);
}

TEST(Load3ds, MissingFileAndOverLongPathMessages) {
    StaticModel model;
    MessageCapture messages;
    EXPECT_FALSE(Load3ds("/nonexistent/dir/x.3ds", model));
    const std::string longPath = "/nonexistent/" + std::string(400, 'a') + ".3ds";
    EXPECT_FALSE(Load3ds(longPath.c_str(), model));
    ASSERT_EQ(messages.messages().size(), 2u);
    EXPECT_EQ(messages.messages()[0].caption, "Error");
    EXPECT_EQ(messages.messages()[0].text, "Unable to find the file: /nonexistent/dir/x.3ds!");
    // Cut to the 255-byte buffer.
    EXPECT_EQ(messages.messages()[1].text.size(), 254u);
    EXPECT_EQ(messages.messages()[1].text.rfind("Unable to find the file: /nonexistent/aaa", 0), 0u);
    EXPECT_EQ(model.objectCount, 0);
}

TEST(Load3ds, VersionAboveThreeWarnsOnceAndStillLoads) {
    StaticModel model;
    MessageCapture messages;
    ASSERT_TRUE(Parse3ds(File3ds({Triangle("v3")}, 3), kName, model));
    EXPECT_TRUE(messages.messages().empty());
    ASSERT_TRUE(Parse3ds(File3ds({Triangle("v4")}, 4), kName, model));
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].caption, "Warning");
    EXPECT_EQ(messages.messages()[0].text, "This 3DS file is over version 3 so it may load incorrectly");
    EXPECT_EQ(model.objectCount, 2);
}

TEST(Load3ds, ObjectInfoBlockDropsOnlyItsFirstSubChunk) {
    // The block's first sub-chunk is dropped whatever it is; an empty block
    // must not take its sibling with it.
    StaticModel model;
    const Bytes file =
        Chunk(0x4D4D, {},
              {Chunk(0x3D3D, {}, {MaterialChunk("eaten"), MaterialChunk("kept")}), Chunk(0x3D3D),
               Chunk(0x3D3D, {}, {Chunk(0x3D3E, {3, 0, 0, 0}), Triangle("sibling-of-empty")})})
            .Serialise();
    ASSERT_TRUE(Parse3ds(file, kName, model));
    ASSERT_EQ(model.materialCount, 1);
    EXPECT_STREQ(model.materials[0].name, "kept");
    ASSERT_EQ(model.objectCount, 1);
    EXPECT_STREQ(model.objects[0].name, "sibling-of-empty");
}

TEST(Load3ds, OverLongNamesAndFloatColourStoreWhatFits) {
    StaticModel model;
    const std::string longName(300, 'n');
    Bytes floatColour;
    for (float f : {0.5f, 0.25f, 1.0f}) PutF32(floatColour, f);
    const Bytes file = File3ds(
        {Chunk(0xAFFF, {},
               {Chunk(0xA000, NameData(longName)), Chunk(0xA020, {}, {Chunk(0x0010, floatColour)}),
                Chunk(0xA200, {}, {Chunk(0xA300, NameData(longName))})}),
         MaterialChunk("after"), Triangle(longName)});
    ASSERT_TRUE(Parse3ds(file, kName, model));
    ASSERT_EQ(model.materialCount, 2);
    EXPECT_EQ(std::string(model.materials[0].name), longName.substr(0, 254));
    EXPECT_EQ(std::string(model.materials[0].textureFile), longName.substr(0, 254));
    EXPECT_EQ(std::memcmp(model.materials[0].colour, floatColour.data(), 3), 0);
    EXPECT_STREQ(model.materials[1].name, "after");  // the walk went on in step
    ASSERT_EQ(model.objectCount, 1);
    EXPECT_EQ(std::string(model.objects[0].name), longName.substr(0, 254));
    EXPECT_EQ(model.objects[0].faceCount, 1);
}

// A name without its NUL runs to the end of its chunk (taking what follows
// in it), or to the end of the data; a face-material name likewise.
TEST(Load3ds, NamesWithoutTheirNulEndWithTheirChunkOrTheData) {
    const Bytes raw = {'a', 'b', 'c'};
    const Bytes material = {'m', 'a', 't'};
    StaticModel model;
    Bytes faces = FaceData({{0, 1, 2}});
    ASSERT_TRUE(Parse3ds(File3ds({MaterialChunk("mat", "t.tga"), Chunk(0x4000, raw),
                                  ObjectChunk("second", VertexData({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), faces,
                                              {Chunk(0x4130, material)})}),
                         kName, model));
    ASSERT_EQ(model.objectCount, 2);
    EXPECT_STREQ(model.objects[0].name, "abc");
    EXPECT_STREQ(model.objects[1].name, "second");
    EXPECT_EQ(model.objects[1].materialIndex, 0);  // "mat", found though unterminated
    EXPECT_TRUE(model.objects[1].hasTexture);
    // The data ending inside a name, at every byte of it.
    const Bytes whole = File3ds({ObjectChunk("named", VertexData({{1, 2, 3}}), FaceData({}))});
    const size_t nameAt = 6 + 6 + 4 + 6 + 6 + 4 + 6;  // primary, version, editor, mesh version, object
    ASSERT_EQ(std::memcmp(whole.data() + nameAt, "named", 5), 0);
    for (size_t cut = 0; cut <= 6; ++cut) {
        StaticModel part;
        ASSERT_TRUE(Parse3ds(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(nameAt + cut)), kName,
                             part));
        ASSERT_EQ(part.objectCount, 1) << cut;
        EXPECT_EQ(std::string(part.objects[0].name), std::string("named").substr(0, cut)) << cut;
    }
}

TEST(Load3ds, CorruptCountsAndIndicesAreCutNotTrusted) {
    StaticModel model;
    // Vertex count 1000 with data for two; a face naming vertex 5; a texture
    // count beyond the data; a chunk shorter than its own header.
    Bytes vertices;
    PutU16(vertices, 1000);
    for (float f : {1.f, 2.f, 3.f, 4.f, 5.f, 6.f}) PutF32(vertices, f);
    Bytes tex;
    PutU16(tex, 500);
    PutF32(tex, 0.5f);
    PutF32(tex, 0.25f);
    Bytes shortChunk;
    PutU16(shortChunk, 0x1234);
    PutU32(shortChunk, 2);
    Chunk mesh(0x4100, {},
               {Chunk(0x4110, vertices), Chunk(0x4140, tex), Chunk(0x4120, FaceData({{0, 1, 0}, {0, 5, 1}}))});
    Bytes file = File3ds({Chunk(0x4000, NameData("bad"), {mesh})});
    file.insert(file.end(), shortChunk.begin(), shortChunk.end());
    ASSERT_TRUE(Parse3ds(file, kName, model));
    ASSERT_EQ(model.objectCount, 1);
    const StaticObject &o = model.objects[0];
    EXPECT_EQ(o.vertexCount, 2);
    EXPECT_EQ(o.vertices[1].z, 6.0f);
    EXPECT_EQ(o.texCoordCount, 1);
    ASSERT_EQ(o.faceCount, 1);  // the face naming vertex 5 is dropped
    EXPECT_EQ(o.faces[0].vertexIndex[1], 1);
}

TEST(Load3ds, DeepNestingIsBoundedAndLengthsPastTheEndStopTheWalk) {
    StaticModel model;
    // 20000 nested mesh chunks in one object: walked without exhausting the stack.
    Bytes nested;
    const int depth = 20000;
    for (int i = depth; i > 0; --i) {
        Bytes outer;
        PutU16(outer, 0x4100);
        PutU32(outer, static_cast<uint32_t>(nested.size() + 6));
        outer.insert(outer.end(), nested.begin(), nested.end());
        nested.swap(outer);
    }
    Bytes object = NameData("deep");
    object.insert(object.end(), nested.begin(), nested.end());
    ASSERT_TRUE(Parse3ds(File3ds({Chunk(0x4000, object)}), kName, model));
    EXPECT_EQ(model.objectCount, 1);

    // Primary and object-information lengths claiming 4 GB: the walk ends at
    // the end of the data, with everything in it read.
    Bytes huge = File3ds({Triangle("t")});
    ASSERT_EQ(huge[16], 0x3D);
    for (size_t at : {size_t{2}, size_t{18}}) {
        huge[at] = huge[at + 1] = huge[at + 2] = huge[at + 3] = 0xFF;
    }
    ASSERT_TRUE(Parse3ds(huge, kName, model));
    EXPECT_EQ(model.objectCount, 2);
}

// Every length of a real file, and byte flips in each chunk header: nothing
// reads outside the buffer (checked under the sanitizer build), nothing hangs.
TEST(Load3ds, TruncatedAndFlippedRealFilesLoadSafely) {
    MessageCapture quiet;
    for (const char *name : {"assimp/3DS/test1.3ds", "assimp/3DS/cubes_with_alpha.3DS"}) {
        const Bytes file = ReadAll(DataPath(name));
        ASSERT_GT(file.size(), 1000u);
        for (size_t length = 0; length <= file.size(); ++length) {
            StaticModel model;
            const bool ok = Parse3ds(std::span(file.data(), length), kName, model);
            EXPECT_EQ(ok, length >= 6) << length;
            EXPECT_EQ(model.objects.size(), static_cast<size_t>(model.objectCount));
        }
        // Walk the chunk headers of the intact file and damage each in turn.
        std::vector<size_t> headers;
        for (size_t at = 0; at + 6 <= file.size();) {
            headers.push_back(at);
            uint16_t id;
            uint32_t length;
            std::memcpy(&id, &file[at], 2);
            std::memcpy(&length, &file[at + 2], 4);
            const bool container = id == 0x4D4D || id == 0x3D3D || id == 0x4100 || id == 0xAFFF || id == 0xA200;
            at += container ? 6 : (id == 0x4000 ? 6 + std::strlen(reinterpret_cast<const char *>(&file[at + 6])) + 1
                                                : std::max<uint32_t>(length, 6));
        }
        ASSERT_GT(headers.size(), 20u);
        for (size_t at : headers)
            for (size_t byte = 0; byte < 6; ++byte)
                for (uint8_t flip : {uint8_t{0xFF}, uint8_t{0x80}, uint8_t{0x01}}) {
                    Bytes damaged = file;
                    damaged[at + byte] ^= flip;
                    StaticModel model;
                    Parse3ds(damaged, kName, model);
                    EXPECT_EQ(model.objects.size(), static_cast<size_t>(model.objectCount));
                    for (const StaticObject &o : model.objects)
                        for (const StaticFace &f : o.faces)
                            for (int32_t i : f.vertexIndex) ASSERT_LT(i, o.vertexCount);
                }
    }
}

}  // namespace
}  // namespace vesk
