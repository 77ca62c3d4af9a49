#include <gtest/gtest.h>

#include <string>

#include "io/file.h"
#include "loaders/static_model.h"
#include "loaders/static_test_util.h"

namespace vesk {
namespace {

using namespace test;

void ExpectFace(const StaticFace &f, int32_t a, int32_t b, int32_t c) {
    EXPECT_EQ(f.vertexIndex[0], a);
    EXPECT_EQ(f.vertexIndex[1], b);
    EXPECT_EQ(f.vertexIndex[2], c);
}
void ExpectTexFace(const StaticFace &f, int32_t a, int32_t b, int32_t c) {
    EXPECT_EQ(f.texCoordIndex[0], a);
    EXPECT_EQ(f.texCoordIndex[1], b);
    EXPECT_EQ(f.texCoordIndex[2], c);
}

TEST(LoadObj, PositionsAndPlainFaces) {
    StaticModel model;
    ASSERT_TRUE(ParseObj("v 0 0 0\nv 1.5 -2 3e1\nv 0 1 0\nv 9 9 9\nf 1 2 3\n", model));
    ASSERT_EQ(model.objectCount, 1);
    const StaticObject &o = model.objects[0];
    EXPECT_EQ(o.vertexCount, 4);
    EXPECT_EQ(o.vertices[1].x, 1.5f);
    EXPECT_EQ(o.vertices[1].y, -2.0f);
    EXPECT_EQ(o.vertices[1].z, 30.0f);
    ASSERT_EQ(o.faceCount, 1);
    ExpectFace(o.faces[0], 0, 1, 2);
    EXPECT_EQ(o.texCoordCount, 0);
    EXPECT_FALSE(o.hasTexture);
    EXPECT_EQ(o.materialIndex, -1);
    EXPECT_STREQ(o.name, "");
    EXPECT_EQ(model.materialCount, 0);
    ASSERT_EQ(o.normals.size(), 4u);
    // Smoothed after the load: used vertices unit length, the unused one zero.
    const Vector3 n = o.normals[0];
    EXPECT_FLOAT_EQ(n.x * n.x + n.y * n.y + n.z * n.z, 1.0f);
    EXPECT_EQ(o.normals[3].x, 0.0f);
    EXPECT_EQ(o.normals[3].z, 0.0f);
}

TEST(LoadObj, EveryCornerFormIsReadAndTexCoordsStayAsWritten) {
    StaticModel model;
    ASSERT_TRUE(ParseObj("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n"
                         "vt 0.25 0.75\nvt 1 0\nvt 0 1\nvn 0 0 1\n"
                         "f 1/1/1 2/2/1 3/3/1\n"
                         "f 2//1 4//1 3//1\n"
                         "f 4/3 3/2 1/1\n"
                         "f 1 2 4\n",
                         model));
    ASSERT_EQ(model.objectCount, 1);
    const StaticObject &o = model.objects[0];
    ASSERT_EQ(o.faceCount, 4);
    ExpectFace(o.faces[0], 0, 1, 2);
    ExpectTexFace(o.faces[0], 0, 1, 2);
    ExpectFace(o.faces[1], 1, 3, 2);
    ExpectTexFace(o.faces[1], -1, -1, -1);  // no texture index: none for export
    ExpectFace(o.faces[2], 3, 2, 0);
    ExpectTexFace(o.faces[2], 2, 1, 0);
    ExpectFace(o.faces[3], 0, 1, 3);
    ASSERT_EQ(o.texCoordCount, 3);
    EXPECT_TRUE(o.hasTexture);
    EXPECT_TRUE(o.texCoordsPerCorner);
    EXPECT_EQ(o.texCoords[0].u, 0.25f);
    EXPECT_EQ(o.texCoords[0].v, 0.75f);
}

TEST(LoadObj, ObjectsCloseAtVertexLinesAfterFacesAndIndicesBecomeLocal) {
    StaticModel model;
    ASSERT_TRUE(ParseObj("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 5 5 5\nvt 0 0\nvt 1 1\nf 1/1 2/2 3/1\n"
                         "vn 0 0 1\n"  // closes the first object
                         "v 2 0 0\nv 3 0 0\nv 2 1 0\nvt 0.5 0.5\nf 5/3 6/3 7/3\nf 7/3 6/3 5/3\n",
                         model));
    ASSERT_EQ(model.objectCount, 2);
    EXPECT_EQ(model.objects[0].vertexCount, 4);
    EXPECT_EQ(model.objects[0].faceCount, 1);
    const StaticObject &second = model.objects[1];
    EXPECT_EQ(second.vertexCount, 3);
    EXPECT_EQ(second.vertices[0].x, 2.0f);
    ASSERT_EQ(second.faceCount, 2);
    ExpectFace(second.faces[0], 0, 1, 2);
    ExpectFace(second.faces[1], 2, 1, 0);
    ExpectTexFace(second.faces[0], 0, 0, 0);
    EXPECT_EQ(second.texCoordCount, 1);
}

TEST(LoadObj, FirstFaceNeedNotStartAtTheObjectsFirstVertex) {
    StaticModel model;
    // A second object whose first face starts at its third vertex.
    ASSERT_TRUE(ParseObj("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"
                         "v 0 0 1\nv 1 0 1\nv 0 1 1\nv 1 1 1\nf 6 4 5\nf 7 5 6\n",
                         model));
    ASSERT_EQ(model.objectCount, 2);
    ASSERT_EQ(model.objects[1].faceCount, 2);
    ExpectFace(model.objects[1].faces[0], 2, 0, 1);
    ExpectFace(model.objects[1].faces[1], 3, 1, 2);
}

TEST(LoadObj, ObjectsNumberedFromOneEachStillWork) {
    StaticModel model;
    ASSERT_TRUE(ParseObj("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nv 0 0 1\nv 1 0 1\nv 0 1 1\nf 1 2 3\n", model));
    ASSERT_EQ(model.objectCount, 2);
    ASSERT_EQ(model.objects[1].faceCount, 1);
    ExpectFace(model.objects[1].faces[0], 0, 1, 2);
}

TEST(LoadObj, NegativeIndicesCountBackFromWhatWasRead) {
    StaticModel model;
    ASSERT_TRUE(ParseObj("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"
                         "v 0 0 1\nv 1 0 1\nv 0 1 1\nvt 0 0\nvt 1 0\nf -1/-2 -3/-1 -2/-2\nf -9 -1 -2\n",
                         model));
    ASSERT_EQ(model.objectCount, 2);
    const StaticObject &o = model.objects[1];
    ASSERT_EQ(o.faceCount, 1);  // -9 names no vertex
    ExpectFace(o.faces[0], 2, 0, 1);
    ExpectTexFace(o.faces[0], 0, 1, 0);
}

TEST(LoadObj, QuadsGiveTheirFirstTriangleAndBrokenFacesAreLeftOut) {
    StaticModel model;
    ASSERT_TRUE(ParseObj("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n"
                         "f 1 2 3 4\nf 2 3\nf x y z\nf 1 2 99\nf 0 1 2\nf 4 3 2\n",
                         model));
    const StaticObject &o = model.objects[0];
    ASSERT_EQ(o.faceCount, 2);
    ExpectFace(o.faces[0], 0, 1, 2);
    ExpectFace(o.faces[1], 3, 2, 1);
}

TEST(LoadObj, BlankLongAndCrLfLinesReadLikeAnyOther) {
    // A comment whose tail, past 100 characters, looks like a face and then a
    // vertex; a blank line before a vertex; a long face line; CR LF endings
    // (read in text mode). Only whole lines count.
    const std::string comment = "#" + std::string(99, 'c') + "f 1 1 1\r\n#" + std::string(99, 'c') + "v 7 7 7\r\n";
    const std::string text = TextModeFromBytes("v 0 0 0\r\n\r\nv 1 0 0\r\n\r\nv 0 1 0\r\n" + comment +
                                               "f 1 2 3 " + std::string(200, ' ') + "4 5 6\r\n\r\n");
    StaticModel model;
    ASSERT_TRUE(ParseObj(text, model));
    ASSERT_EQ(model.objectCount, 1);
    const StaticObject &o = model.objects[0];
    ASSERT_EQ(o.vertexCount, 3);
    EXPECT_EQ(o.vertices[1].x, 1.0f);
    EXPECT_EQ(o.vertices[2].y, 1.0f);
    ASSERT_EQ(o.faceCount, 1);
    ExpectFace(o.faces[0], 0, 1, 2);
}

TEST(LoadObj, EmptyFilesGiveOneEmptyObjectAndLoadsAppend) {
    StaticModel model;
    ASSERT_TRUE(ParseObj("", model));
    ASSERT_TRUE(ParseObj("# nothing\nv 1 2 3\n", model));
    ASSERT_EQ(model.objectCount, 2);
    EXPECT_EQ(model.objects[0].vertexCount, 0);
    EXPECT_EQ(model.objects[1].vertexCount, 1);
    EXPECT_EQ(model.objects[1].faceCount, 0);
}

TEST(LoadObj, MissingFileOrPath) {
    StaticModel model;
    MessageCapture messages;
    EXPECT_FALSE(LoadObj(nullptr, model));
    EXPECT_TRUE(messages.messages().empty());
    EXPECT_FALSE(LoadObj("/nonexistent/x.obj", model));
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].caption, "Error");
    EXPECT_EQ(messages.messages()[0].text, "Unable to find or open the file: /nonexistent/x.obj");
    EXPECT_EQ(model.objectCount, 0);
}

}  // namespace
}  // namespace vesk
