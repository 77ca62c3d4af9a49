#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "io/fast_number.h"
#include "io/file.h"
#include "io/line_masks.h"
#include "loaders/static_model.h"
#include "loaders/static_test_util.h"

namespace vesk {
namespace {

using namespace test;

// Materials of a small file; each entry is the body of one *MATERIAL block.
std::string MaterialList(const std::vector<std::string> &bodies) {
    std::string s = "*MATERIAL_LIST {\n\t*MATERIAL_COUNT " + std::to_string(bodies.size()) + "\n";
    for (size_t i = 0; i < bodies.size(); ++i) s += "\t*MATERIAL " + std::to_string(i) + " {\n" + bodies[i] + "\t}\n";
    return s + "}\n";
}

// A one-triangle object; `extra` goes inside its block.
std::string TriangleObject(const std::string &extra = {}) {
    return "*GEOMOBJECT {\n\t*NODE_NAME \"Tri\"\n\t*MESH {\n"
           "\t\t*MESH_NUMVERTEX 3\n\t\t*MESH_NUMFACES 1\n"
           "\t\t*MESH_VERTEX_LIST {\n"
           "\t\t\t*MESH_VERTEX    0\t0.0000\t0.0000\t0.0000\n"
           "\t\t\t*MESH_VERTEX    1\t1.0000\t0.0000\t0.0000\n"
           "\t\t\t*MESH_VERTEX    2\t0.0000\t1.0000\t0.0000\n\t\t}\n"
           "\t\t*MESH_FACE_LIST {\n"
           "\t\t\t*MESH_FACE    0:    A:    0 B:    1 C:    2 AB:    1 BC:    1 CA:    0\t *MESH_SMOOTHING 1 \t*MESH_MTLID 0\n"
           "\t\t}\n"
           "\t\t*MESH_NUMTVERTEX 3\n\t\t*MESH_TVERTLIST {\n"
           "\t\t\t*MESH_TVERT 0\t0.2500\t0.7500\t0.0000\n"
           "\t\t\t*MESH_TVERT 1\t1.0000\t0.5000\t0.0000\n"
           "\t\t\t*MESH_TVERT 2\t0.0000\t1.0000\t0.0000\n\t\t}\n"
           "\t\t*MESH_NUMTVFACES 1\n\t\t*MESH_TFACELIST {\n\t\t\t*MESH_TFACE 0\t2\t0\t1\n\t\t}\n\t}\n" +
           extra + "}\n";
}

TEST(LoadAse, VerticesTurnToYUpAndFacesKeepTheirIndices) {
    StaticModel model;
    ASSERT_TRUE(ParseAse("*GEOMOBJECT {\n\t*MESH {\n\t\t*MESH_NUMVERTEX 4\n\t\t*MESH_NUMFACES 2\n"
                         "\t\t*MESH_VERTEX 3 1.0 2.0 3.0\n\t\t*MESH_VERTEX 0 -1 -2 -3\n"
                         "\t\t*MESH_FACE 1:\tA:\t3 B:\t0 C:\t1\n"
                         "\t\t*MESH_FACE 0: A: 0 B: 1 C: 3\n\t\t*MESH_TFACE 1 4 5 6\n\t}\n}\n",
                         model));
    ASSERT_EQ(model.objectCount, 1);
    const StaticObject &o = model.objects[0];
    ASSERT_EQ(o.vertexCount, 4);
    EXPECT_EQ(o.vertices[3].x, 1.0f);
    EXPECT_EQ(o.vertices[3].y, 3.0f);
    EXPECT_EQ(o.vertices[3].z, -2.0f);
    EXPECT_EQ(o.vertices[0].y, -3.0f);
    EXPECT_EQ(o.vertices[0].z, 2.0f);
    EXPECT_EQ(o.vertices[1].x, 0.0f);  // never given: zero
    ASSERT_EQ(o.faceCount, 2);
    EXPECT_EQ(o.faces[1].vertexIndex[0], 3);
    EXPECT_EQ(o.faces[1].vertexIndex[2], 1);
    EXPECT_EQ(o.faces[0].vertexIndex[2], 3);
    EXPECT_EQ(o.faces[1].texCoordIndex[1], 5);
    EXPECT_EQ(o.faces[0].texCoordIndex[0], 0);  // no *MESH_TFACE: 0
    EXPECT_EQ(o.materialIndex, -1);
    EXPECT_STREQ(o.name, "");
    EXPECT_TRUE(o.texCoordsPerCorner);
    EXPECT_EQ(o.normals.size(), 4u);
}

TEST(LoadAse, MaterialsAndTilingScaleTheirObjectsTexCoords) {
    StaticModel model;
    const std::string text =
        MaterialList({"\t\t*MATERIAL_NAME \"Wood\"\n\t\t*MATERIAL_DIFFUSE 0.5000\t0.2500\t1.0000\n"
                      "\t\t*MAP_DIFFUSE {\n\t\t\t*BITMAP \"C:\\maps\\wood.bmp\"\n"
                      "\t\t\t*UVW_U_TILING 2.0000\n\t\t\t*UVW_V_TILING 1.0000\n\t\t}\n",
                      "\t\t*MATERIAL_NAME \"Dark Wood\"\n\t\t*MATERIAL_DIFFUSE 1 1 1\n",
                      "\t\t*MATERIAL_NAME \"\"\n\t\t*BITMAP unquoted.bmp\n"}) +
        TriangleObject("\t*MATERIAL_REF 0\n") + TriangleObject("\t*MATERIAL_REF 1.9\n") + TriangleObject() +
        TriangleObject("\t*MATERIAL_REF 7\n");
    ASSERT_TRUE(ParseAse(text, model));
    ASSERT_EQ(model.materialCount, 3);
    const StaticMaterial &wood = model.materials[0];
    EXPECT_STREQ(wood.name, "Wood");
    EXPECT_STREQ(wood.textureFile, "C:\\maps\\wood.bmp");
    EXPECT_EQ(wood.diffuse[0], 0.5f);
    EXPECT_EQ(wood.diffuse[1], 0.25f);
    EXPECT_EQ(wood.diffuse[2], 1.0f);
    EXPECT_EQ(wood.colour[0], 0);
    EXPECT_EQ(wood.uTiling, 2.0f);
    EXPECT_EQ(wood.vTiling, 1.0f);
    EXPECT_STREQ(model.materials[1].name, "Dar");
    EXPECT_STREQ(model.materials[2].name, "");
    EXPECT_STREQ(model.materials[2].textureFile, "");

    ASSERT_EQ(model.objectCount, 4);
    const StaticObject &doubled = model.objects[0];
    EXPECT_EQ(doubled.materialIndex, 0);
    EXPECT_TRUE(doubled.hasTexture);
    ASSERT_EQ(doubled.texCoordCount, 3);
    EXPECT_EQ(doubled.texCoords[0].u, 0.5f);
    EXPECT_EQ(doubled.texCoords[0].v, 0.75f);
    EXPECT_EQ(doubled.texCoords[1].u, 2.0f);
    EXPECT_EQ(doubled.faces[0].texCoordIndex[0], 2);
    EXPECT_EQ(doubled.faces[0].texCoordIndex[2], 1);
    // *MATERIAL_REF 1.9 is material 1, which has no tiling: coordinates become 0.
    EXPECT_EQ(model.objects[1].materialIndex, 1);
    EXPECT_EQ(model.objects[1].texCoords[1].u, 0.0f);
    EXPECT_EQ(model.objects[1].texCoords[2].v, 0.0f);
    // No reference, or one to a missing material: unscaled.
    EXPECT_EQ(model.objects[2].materialIndex, -1);
    EXPECT_EQ(model.objects[2].texCoords[1].u, 1.0f);
    EXPECT_EQ(model.objects[2].texCoords[1].v, 0.5f);
    EXPECT_EQ(model.objects[3].materialIndex, 7);
    EXPECT_EQ(model.objects[3].texCoords[0].v, 0.75f);
}

TEST(LoadAse, WhereEachScanStopsAndWhichOccurrenceWins) {
    StaticModel model;
    // The last material runs to the end of the file; later statements
    // overwrite earlier ones (a sub-material's name included); the first
    // *MATERIAL_REF and *MATERIAL_COUNT count; the last count statement wins.
    const std::string text =
        "*MATERIAL_LIST {\n*MATERIAL_COUNT 2\n*MATERIAL 0 {\n*MATERIAL_NAME \"first\"\n*UVW_U_TILING 3\n"
        "*SUBMATERIAL 0 {\n*MATERIAL_NAME \"sub\"\n}\n}\n*MATERIAL 1 {\n*MATERIAL_NAME \"second\"\n}\n}\n"
        "*MATERIAL_COUNT 9\n" +
        TriangleObject("*MATERIAL_REF 1\n*MATERIAL_REF 0\n*MESH_NUMFACES 2\n") + "*BITMAP \"late.bmp\"\n";
    ASSERT_TRUE(ParseAse(text, model));
    ASSERT_EQ(model.materialCount, 2);
    EXPECT_STREQ(model.materials[0].name, "sub");
    EXPECT_EQ(model.materials[0].uTiling, 3.0f);
    EXPECT_STREQ(model.materials[0].textureFile, "");
    EXPECT_STREQ(model.materials[1].name, "second");
    EXPECT_STREQ(model.materials[1].textureFile, "late.bmp");
    ASSERT_EQ(model.objectCount, 1);
    EXPECT_EQ(model.objects[0].materialIndex, 1);
    // The last face count sizes the array; the face statement still fills
    // face 0, and face 1 stays (0, 0, 0).
    ASSERT_EQ(model.objects[0].faceCount, 2);
    EXPECT_EQ(model.objects[0].faces[0].vertexIndex[1], 1);
    EXPECT_EQ(model.objects[0].faces[0].vertexIndex[2], 2);
    EXPECT_EQ(model.objects[0].faces[1].vertexIndex[2], 0);
}

TEST(LoadAse, LoadReplacesWhateverWasHeld) {
    StaticModel model;
    ASSERT_TRUE(Parse3ds(File3ds({MaterialChunk("m1", "x.bmp", 9, 9, 9), MaterialChunk("m2"),
                                  ObjectChunk("a", VertexData({{0, 0, 0}}), FaceData({})),
                                  ObjectChunk("b", VertexData({{0, 0, 0}}), FaceData({})),
                                  ObjectChunk("c", VertexData({{0, 0, 0}}), FaceData({})),
                                  ObjectChunk("d", VertexData({{0, 0, 0}}), FaceData({})),
                                  ObjectChunk("e", VertexData({{0, 0, 0}}), FaceData({}))}),
                         "five.3ds", model));
    ASSERT_EQ(model.objectCount, 5);
    ASSERT_TRUE(ParseAse(MaterialList({"*MATERIAL_NAME \"only\"\n"}) + "*GEOMOBJECT {\n}\n" + TriangleObject(), model));
    EXPECT_EQ(model.objectCount, 2);
    EXPECT_EQ(model.materialCount, 1);
    // Nothing of the earlier elements shows through.
    EXPECT_STREQ(model.objects[0].name, "");
    EXPECT_EQ(model.objects[0].vertexCount, 0);
    EXPECT_EQ(model.objects[0].materialIndex, -1);
    EXPECT_STREQ(model.materials[0].textureFile, "");
    EXPECT_EQ(model.materials[0].colour[0], 0);
    // A 3DS load afterwards appends to the ASE file's objects.
    ASSERT_TRUE(Parse3ds(File3ds({ObjectChunk("z", VertexData({{0, 0, 0}}), FaceData({}))}), "z.3ds", model));
    EXPECT_EQ(model.objectCount, 3);
    EXPECT_STREQ(model.objects[2].name, "z");
}

TEST(LoadAse, OutOfRangeIndicesAndCorruptCountsAreHarmless) {
    StaticModel model;
    ASSERT_TRUE(ParseAse("*MATERIAL_COUNT 1000000000\n*MATERIAL 0 {\n}\n"
                         "*GEOMOBJECT {\n*MESH_NUMVERTEX 2000000000\n*MESH_NUMFACES -5\n*MESH_NUMTVERTEX 1\n"
                         "*MESH_VERTEX 99999999999 1 2 3\n*MESH_VERTEX -1 1 2 3\n*MESH_TVERT 5 1 1\n"
                         "*MESH_FACE 0: A: 0 B: 1 C: 2\n*MESH_TFACE 3 1 1 1\n*MATERIAL_REF nan\n}\n"
                         "*GEOMOBJECT {\n*MESH_NUMVERTEX 2\n*MESH_NUMFACES 2\n*MESH_FACE 0: A: 0 B: 1 C: 7\n"
                         "*MESH_FACE 1: A: 0 B: 1 C: 1\n}\n",
                         model));
    // Counts no larger than the text describing them; the material count no
    // larger than the materials present.
    EXPECT_EQ(model.materialCount, 1);
    ASSERT_EQ(model.objectCount, 2);
    EXPECT_LE(model.objects[0].vertexCount, 300);
    EXPECT_EQ(model.objects[0].faceCount, 0);
    EXPECT_FALSE(model.objects[0].hasTexture);
    EXPECT_EQ(model.objects[0].materialIndex, -1);
    // The face naming vertex 7 of 2 is dropped.
    ASSERT_EQ(model.objects[1].faceCount, 1);
    EXPECT_EQ(model.objects[1].faces[0].vertexIndex[2], 1);
}

TEST(LoadAse, EmptyMissingAndUnreadableFiles) {
    StaticModel model;
    MessageCapture messages;
    EXPECT_FALSE(LoadAse(nullptr, model));
    EXPECT_FALSE(LoadAse("/nonexistent/x.ase", model));
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].caption, "Error");
    EXPECT_EQ(messages.messages()[0].text, "Unable to find or open the file: /nonexistent/x.ase");
    EXPECT_TRUE(LoadAse(DataPath("assimp/invalid/empty.ase").c_str(), model));
    EXPECT_EQ(model.objectCount, 0);
    EXPECT_EQ(model.materialCount, 0);
}

// Every length of a real file (sampled for speed) and damaged statement
// lines: nothing reads outside the text (checked under the sanitizer build).
TEST(LoadAse, TruncatedAndDamagedRealFilesLoadSafely) {
    const Bytes bytes = ReadAll(DataPath("assimp/ASE/ThreeCubesGreen.ASE"));
    const std::string text(bytes.begin(), bytes.end());
    ASSERT_GT(text.size(), 5000u);
    for (size_t length = 0; length <= text.size(); length += (length < 3000 ? 7 : 1)) {
        StaticModel model;
        ASSERT_TRUE(ParseAse(std::string_view(text).substr(0, length), model));
        for (const StaticObject &o : model.objects)
            for (const StaticFace &f : o.faces)
                for (int32_t i : f.vertexIndex) ASSERT_TRUE(i >= 0 && i < o.vertexCount);
    }
    // Damage the number after each statement word in turn.
    size_t damaged = 0;
    for (size_t at = text.find('*'); at != std::string::npos; at = text.find('*', at + 1)) {
        const size_t space = text.find_first_of(" \t", at);
        if (space == std::string::npos || space + 1 >= text.size()) break;
        for (const char *junk : {"-", "9999999999", "x", "\n"}) {
            std::string copy = text;
            copy.insert(space + 1, junk);
            StaticModel model;
            ASSERT_TRUE(ParseAse(copy, model));
            ++damaged;
        }
    }
    EXPECT_GT(damaged, 400u);
}

// A statement word counts only as a whole word: not as the start of a longer
// one, whatever blank ends it, and also as the last bytes of the text.
TEST(LoadAse, StatementWordsMatchWholeWordsOnly) {
    const std::string text =
        "*MATERIAL_COUNT 2\n*MATERIALS 7\n*MATERIAL 0 {\n*MATERIAL_NAMES \"no\"\n*MATERIAL_NAME\f\"a\"\n"
        "*BITMAPS \"no.bmp\"\n*UVW_U_TILING\t2\n*UVW_U_TILINGX 5\n*UVW_V_TILING 3\r\n}\n"
        "*GEOMOBJECT {\n\t*MESH_NUMVERTEX 3\n\t*MESH_VERTEXNORMAL 0 9 9 9\n\t*MESH_VERTEX\v1 1 2 3\r\n"
        "\t*MESH_VERTEX2 5 5 5\n \t*MESH_VERTEX 2 4 5 6\n\t*MESH_FACES 0: A: 1 B: 1 C: 1\n}\n*GEOMOBJECTS\n"
        "*MATERIAL 1\n*GEOMOBJECT";
    for (const bool raw : {false, true}) {
        StaticModel model;
        ASSERT_TRUE(raw ? ParseAseBytes(text, model) : ParseAse(text, model));
        ASSERT_EQ(model.materialCount, 2);
        EXPECT_STREQ(model.materials[0].name, "a");
        EXPECT_STREQ(model.materials[0].textureFile, "");
        EXPECT_EQ(model.materials[0].uTiling, 2.0f);
        EXPECT_EQ(model.materials[0].vTiling, 3.0f);
        ASSERT_EQ(model.objectCount, 2);
        const StaticObject &o = model.objects[0];
        ASSERT_EQ(o.vertexCount, 3);
        EXPECT_EQ(o.vertices[0].x, 0.0f);
        EXPECT_EQ(o.vertices[1].y, 3.0f);
        EXPECT_EQ(o.vertices[2].x, 4.0f);
        EXPECT_EQ(o.vertices[2].z, -5.0f);
        EXPECT_EQ(o.faceCount, 0);
        EXPECT_EQ(model.objects[1].vertexCount, 0);
    }
    // Every prefix in a buffer of its own size: nothing is read past its end
    // (checked under the sanitizer build), and the same model either way.
    for (size_t length = 0; length <= text.size(); ++length) {
        const std::vector<char> bytes(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
        StaticModel raw, translated;
        ASSERT_TRUE(ParseAseBytes(std::string_view(bytes.data(), bytes.size()), raw));
        ASSERT_TRUE(ParseAse(TextModeFromBytes(std::string_view(bytes.data(), bytes.size())), translated));
        ASSERT_EQ(raw.objectCount, translated.objectCount);
        for (int32_t i = 0; i < raw.objectCount; ++i) {
            const auto &a = raw.objects[i].vertices, &b = translated.objects[i].vertices;
            ASSERT_EQ(a.size(), b.size()) << length;
            if (!a.empty()) {
                ASSERT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(Vector3)), 0) << length;
            }
        }
    }
}

// The quick paths against plain readings over seeded text: the 64-byte line
// walk (and its blank masks) against a byte loop, and the whole-word number
// readers against the sequential ones, on words of every shape placed
// anywhere in a buffer of exactly the text's size.
TEST(LoadAse, QuickLineWalkAndWordReadsMatchPlainReading) {
    std::mt19937 rng(7);
    const auto pick = [&](std::initializer_list<const char *> options) {
        return options.begin()[rng() % options.size()];
    };
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; };
    for (int round = 0; round < 3000; ++round) {
        std::string text(rng() % 70, pick({" ", "\t", "x"})[0]);  // moves lines across block edges
        for (size_t lines = rng() % (round % 50 ? 12 : 600); lines-- > 0;) {  // some past the walk's chunks
            text += pick({"", "\t\t", " \t\v\f\r ", "  ", "\r"});
            const std::string longLine(90, 'w');
            text += pick({"", "*MESH_VERTEX\t0\t-1.5\t2\t3", "}", longLine.c_str(), "*GEOMOBJECT {", "\r\r"});
            text += pick({"\n", "\r\n", "\r\r\n", "", " \n"});
        }
        const std::vector<char> bytes(text.begin(), text.end());
        const std::string_view view(bytes.data(), bytes.size());
        std::vector<std::pair<size_t, size_t>> plain, quick;
        for (size_t line = 0; line < view.size();) {
            size_t word = line;
            while (word < view.size() && isBlank(view[word])) ++word;
            const size_t lf = std::min(view.find('\n', word), view.size());
            if (word < view.size()) plain.emplace_back(word, lf);
            line = lf + 1;
        }
        // Every lane width of the mask pass, each bit against the bytes.
        for (const LineMaskLanes lanes : {LineMaskLanes::Sse2, LineMaskLanes::Avx2, LineMaskLanes::Avx512}) {
            LimitLineMaskLanes(lanes);
            std::vector<uint64_t> lfs(LineMaskCount(view.size()), ~uint64_t{0}), blanks(lfs);
            FindLineMasks(view, lfs.data(), blanks.data());
            for (size_t i = 0; i < 64 * lfs.size(); ++i) {
                const bool inText = i < view.size();
                ASSERT_EQ(lfs[i / 64] >> (i % 64) & 1, inText && view[i] == '\n') << round;
                ASSERT_EQ(blanks[i / 64] >> (i % 64) & 1, inText && isBlank(view[i])) << round;
            }
            quick.clear();
            std::fill(lfs.begin(), lfs.end(), 0);  // the walk writes its own
            ForEachLineWord(view, lfs.data(), blanks.data(), [&](const char *w, const char *lf) {
                quick.emplace_back(w - view.data(), lf - view.data());
            });
            ASSERT_EQ(quick, plain) << round;
        }
        LimitLineMaskLanes(LineMaskLanes::Avx512);
    }
    // Numbers of every shape, read as a whole word and along a line.
    const char *const kDigits = "0123456789";
    for (int round = 0; round < 200000; ++round) {
        std::string word = pick({"", "", "-", "+", "--", "."});
        for (size_t n = rng() % (rng() % 4 ? 9 : 12); n-- > 0;) word += kDigits[rng() % 10];
        if (rng() % 3) word += pick({".", ".", ":", "e", "x", "-"});
        for (size_t n = rng() % (rng() % 4 ? 10 : 14); n-- > 0;) word += kDigits[rng() % 10];
        if (rng() % 8 == 0) word += pick({"e5", "E-2", ".", "1.5", "+"});
        if (round % 4 == 0) {
            // Next to a midpoint between two floats, where rounding is closest.
            const float f = std::bit_cast<float>(static_cast<uint32_t>(0x33D6BF95u + rng() % 0x16000000u));
            char decimal[64];
            std::snprintf(decimal, sizeof decimal, "%.*f", static_cast<int>(rng() % 9),
                          (static_cast<double>(f) + static_cast<double>(std::nextafter(f, 1e30f))) / 2);
            word = decimal;
        }
        if (word.empty()) continue;
        const std::string buffer =
            std::string(8, pick({"1", ".", " "})[0]) + word + " " + std::string(16, pick({"7", ".", " "})[0]);
        const char *s = buffer.data() + 8, *e = s + word.size();
        std::string_view line(s, word.size() + 1);
        float quick = -1.0f, plain = -1.0f;
        const bool quickOk = ReadFloatWord(s, e, quick), plainOk = ParseFloatFast(line, plain) && line == " ";
        ASSERT_EQ(quickOk, plainOk) << word;
        if (quickOk) {
            ASSERT_EQ(std::bit_cast<uint32_t>(quick), std::bit_cast<uint32_t>(plain)) << word;
        }
        int32_t quickInt = -1, plainInt = -1;
        line = std::string_view(s, word.size() + 1);
        const bool intOk = ReadIntWord(s, e, quickInt);
        ASSERT_EQ(intOk, ParseIntFast(line, plainInt) && line == " ") << word;
        if (intOk) {
            ASSERT_EQ(quickInt, plainInt) << word;
        }
    }
}

}  // namespace
}  // namespace vesk
