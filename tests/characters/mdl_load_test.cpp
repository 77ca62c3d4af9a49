// MDL loading: real files, companion files, the slot table, refused damage
// and bone controllers.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <set>
#include <span>

#include "characters/mdl_model.h"
#include "characters/mdl_test_util.h"

namespace vesk::test {
namespace {

namespace fs = std::filesystem;
using namespace mdlb;

const char *const kFolder = "assimp/MDL/MDL (HL1)";

int32_t I32(const std::vector<uint8_t> &b, size_t at) {
    int32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

// Command vertices and strip/fan triangles of model 0 of every body part,
// walked straight from the file.
std::pair<int32_t, int32_t> FileCommandSizes(const std::vector<uint8_t> &b) {
    int32_t vertices = 0, triangles = 0;
    for (int32_t part = 0; part < I32(b, 204); ++part) {
        const size_t model = static_cast<size_t>(I32(b, static_cast<size_t>(I32(b, 208)) + 76 * part + 72));
        for (int32_t k = 0; k < I32(b, model + 72); ++k) {
            size_t p = static_cast<size_t>(I32(b, static_cast<size_t>(I32(b, model + 76)) + 20 * k + 4));
            for (int16_t n; std::memcpy(&n, b.data() + p, 2), n != 0;) {
                const int32_t count = std::abs(n);
                vertices += count;
                triangles += std::max(0, count - 2);
                p += 2 + 8 * static_cast<size_t>(count);
            }
        }
    }
    return {vertices, triangles};
}

int32_t Load(const std::string &path, int32_t *textures = nullptr) {
    int32_t t = -7;
    const int32_t n = GetmodelMDL(path.c_str(), textures ? textures : &t);
    return n - 1;
}

TEST(MdlLoad, EveryRealModelLoadsAndDrawsWithinItsCounts) {
    ReuseMdlSlots();
    FakeClock clock;
    MessageCapture messages;
    int files = 0;
    for (const auto &entry : fs::recursive_directory_iterator(DataPath(kFolder))) {
        if (!entry.is_regular_file()) continue;
        const std::string name = entry.path().filename().string();
        const auto bytes = ReadAll(entry.path().string());
        if (bytes.size() < 4 || std::memcmp(bytes.data(), "IDST", 4) != 0 || I32(bytes, 204) == 0) continue;
        SCOPED_TRACE(name);
        ++files;
        int32_t textures = -1;
        const int32_t index = Load(entry.path().string(), &textures);
        EXPECT_EQ(textures, I32(bytes, 180));
        int32_t sizes[2] = {-1, -1};
        VeskGetModelMDLcounts(index, sizes);
        const auto [vertices, triangles] = FileCommandSizes(bytes);
        EXPECT_EQ(std::make_pair(sizes[0], sizes[1]), std::make_pair(vertices, 3 * triangles));
        for (int call = 0; call < 3; ++call) {
            clock.Advance(40);
            std::vector<CharacterVertex> records(static_cast<size_t>(sizes[0]) + 1);
            records.back().x = 12345.0f;
            int32_t count = -1;
            EXPECT_EQ(GetModelMDLmesh(index, records.data(), &count), index);
            EXPECT_EQ(count, vertices);
            EXPECT_EQ(records.back().x, 12345.0f);
            std::vector<uint32_t> indices(static_cast<size_t>(sizes[1]) + 1, 0xDEADu);
            int32_t indexCount = -1;
            VeskGetModelMDLtriangles(index, indices.data(), &indexCount);
            ASSERT_EQ(indexCount, sizes[1]);
            EXPECT_EQ(indices.back(), 0xDEADu);
            EXPECT_TRUE(std::all_of(indices.begin(), indices.end() - 1, [&](uint32_t i) { return i < uint32_t(count); }));
            for (const CharacterVertex &r : std::span(records.data(), static_cast<size_t>(count)))
                EXPECT_TRUE(std::isfinite(r.x + r.y + r.z + r.u + r.v));
        }
    }
    EXPECT_GE(files, 12);
    EXPECT_TRUE(messages.messages().empty());
}

TEST(MdlLoad, CompanionFilesByName) {
    ReuseMdlSlots();
    // Texture file: T before the extension; groups: 01, 02 ...
    EXPECT_EQ(MdlCompanionPath("dir/a.mdl", "T"), "dir/aT.mdl");
    EXPECT_EQ(MdlCompanionPath("dir/a.mdl", "02"), "dir/a02.mdl");
    EXPECT_EQ(MdlCompanionPath("ab", "T"), "T.mdl");

    const std::string dir = TempDir("mdl_companions");
    ModelPlan plan = SimpleModel({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {3, 0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 0});
    plan.textures.assign(3, Texture{});
    plan.groupCount = 3;
    for (int g = 1; g <= 2; ++g) {
        Sequence s = plan.sequences[0];
        s.group = g;
        s.streams.assign(1, {});
        s.streams[0][0] = {RunHeader(1, 1), static_cast<int16_t>(100 * g)};
        plan.sequences.push_back(s);
    }
    const Built built = Build(plan);
    const std::string path = WriteModel(dir, "a", built);
    MdlModel model;
    ASSERT_EQ(LoadMdl(model, path.c_str()), MdlLoadResult::Ok);
    EXPECT_EQ(model.textureCount, 3);
    EXPECT_TRUE(model.textureFile.empty());  // no aT.mdl needed, none read
    EXPECT_EQ(model.sequenceGroups, built.groups);

    // Textures in aT.mdl: the main file's count is 0 and so is the host's.
    ModelPlan textures{{}, {}, {}, 0, {Texture{0, 8, 8, {}, {}}, Texture{0, 16, 16, {}, {}}}, 1, 1, {1}, {}, 0};
    plan.textures.clear();
    plan.sequences.resize(1);
    plan.groupCount = 1;
    WriteModel(dir, "bT", Build(textures));
    const std::string b = WriteModel(dir, "b", Build(plan));
    int32_t count = -1;
    const int32_t index = Load(b, &count);
    EXPECT_EQ(count, 0);
    ASSERT_NE(UsableMdlModelAt(index), nullptr);
    EXPECT_EQ(UsableMdlModelAt(index)->textureFile, Build(textures).main);
}

TEST(MdlLoad, SlotsCountUpAndFullTableTakesNothing) {
    MessageCapture messages;
    const std::string path = DataPath(std::string(kFolder) + "/chrome_sphere.mdl");
    const int32_t saved = MdlCount();
    MdlCount() = 0;
    int32_t textures = -1;
    EXPECT_EQ(GetmodelMDL(path.c_str(), &textures), 1);
    EXPECT_EQ(GetmodelMDL(path.c_str(), &textures), 2);
    EXPECT_EQ(textures, 1);
    MdlCount() = kMaxMdlModels;
    textures = -1;
    EXPECT_EQ(GetmodelMDL(path.c_str(), &textures), kMaxMdlModels);
    EXPECT_EQ(textures, 0);
    EXPECT_EQ(MdlCount(), kMaxMdlModels);
    MdlCount() = saved > 2 ? saved : 2;
    EXPECT_TRUE(messages.messages().empty());
}

// Every failed load shows its message, hands back 0 textures, takes a slot
// and leaves it inert for the mesh, size and triangle exports.
void ExpectFailedLoad(const std::string &path, const std::string &text) {
    MessageCapture messages;
    const int32_t before = MdlCount();
    int32_t textures = -1;
    EXPECT_EQ(GetmodelMDL(path.c_str(), &textures), before + 1);
    EXPECT_EQ(textures, 0);
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].caption + ": " + messages.messages()[0].text, "Error: " + text.substr(0, 254));
    CharacterVertex record{};
    record.x = 5.0f;
    int32_t count = -1, triangles = -1, sizes[2] = {-1, -1};
    uint32_t index = 77;
    EXPECT_EQ(GetModelMDLmesh(before, &record, &count), before);
    VeskGetModelMDLcounts(before, sizes);
    VeskGetModelMDLtriangles(before, &index, &triangles);
    EXPECT_EQ((std::vector<int32_t>{count, sizes[0], sizes[1], triangles}), (std::vector<int32_t>(4, 0)));
    EXPECT_EQ(record.x, 5.0f);
    EXPECT_EQ(index, 77u);
}

TEST(MdlLoad, MissingFilesFailTheLoadAndKeepTheProcess) {
    ReuseMdlSlots();
    const std::string dir = TempDir("mdl_missing");
    const std::string source = DataPath(kFolder);
    fs::copy_file(source + "/man.mdl", dir + "/man.mdl");
    ExpectFailedLoad(dir + "/man.mdl", "Unable to find or open the file: " + dir + "/manT.mdl");
    fs::copy_file(source + "/manT.mdl", dir + "/manT.mdl");
    ExpectFailedLoad(dir + "/man.mdl", "Unable to find or open the file: " + dir + "/man01.mdl");
    ExpectFailedLoad(dir + "/none.mdl", "Unable to find or open the file: " + dir + "/none.mdl");
    fs::copy_file(source + "/man01.mdl", dir + "/man01.mdl");
    int32_t textures = -1;
    EXPECT_NE(UsableMdlModelAt(Load(dir + "/man.mdl", &textures)), nullptr);
}

TEST(MdlLoad, DamagedOrOversizedModelsAreRefused) {
    ReuseMdlSlots();
    const std::string dir = TempDir("mdl_refused");
    const ModelPlan good = SimpleModel({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {-3, 0, 0, 0, 0, 1, 1, 0, 0, 2, 2, 0, 0, 0});
    struct Case {
        const char *name;
        void (*damage)(ModelPlan &);
    };
    const Case cases[] = {
        {"fine", [](ModelPlan &) {}},
        {"bones129", [](ModelPlan &s) { s.bones.resize(129); s.sequences[0].streams.resize(129); }},
        {"child_before_parent", [](ModelPlan &s) { s.bones = {Bone{}, Bone{}}; s.bones[0].parent = 1; s.sequences[0].streams.resize(2); }},
        {"vertices2049", [](ModelPlan &s) { s.bodyParts[0].models[0].vertices.resize(2049), s.bodyParts[0].models[0].vertexBones.resize(2049); }},
        {"normals2049", [](ModelPlan &s) {
             auto &m = s.bodyParts[0].models[0];
             m.normals.resize(2049), m.normalBones.resize(2049), m.meshes[0].normals = 2049;
         }},
        {"controllers5", [](ModelPlan &s) { s.controllers.assign(5, Controller{}); }},
        {"groups33", [](ModelPlan &s) { s.groupCount = 33; }},
        {"blend3", [](ModelPlan &s) { s.sequences[0].blends = 3; }},
        {"vertex_index", [](ModelPlan &s) { s.bodyParts[0].models[0].meshes[0].commands[5] = 3; }},
        {"normal_index", [](ModelPlan &s) { s.bodyParts[0].models[0].meshes[0].commands[2] = 3; }},
        {"unended_commands", [](ModelPlan &s) { s.bodyParts[0].models[0].meshes[0].commands.pop_back(); }},
        {"vertex_bone", [](ModelPlan &s) { s.bodyParts[0].models[0].vertexBones[1] = 1; }},
        {"skin_reference", [](ModelPlan &s) { s.bodyParts[0].models[0].meshes[0].skinReference = 1; }},
        {"skin_texture", [](ModelPlan &s) { s.skins[0] = 1; }},
        {"bone_controller", [](ModelPlan &s) { s.bones[0].controller[3] = 0; }},
        {"run_of_no_frames", [](ModelPlan &s) { s.sequences[0].frames = 3; s.sequences[0].streams[0][3] = {RunHeader(1, 0), 5}; }},
        {"stream_too_short", [](ModelPlan &s) { s.sequences[0].frames = 9; s.sequences[0].streams[0][3] = {RunHeader(2, 4), 5, 6}; }},
        {"motion_bone", [](ModelPlan &s) { s.sequences[0].motionType = 1; s.sequences[0].motionBone = 1; }},
        {"sequence_group", [](ModelPlan &s) { s.sequences[0].group = 1; }},
        {"no_models", [](ModelPlan &s) { s.bodyParts[0].models.clear(); }},
        {"vertex_nan", [](ModelPlan &s) { s.bodyParts[0].models[0].vertices[1].y = std::nanf(""); }},
        {"normal_infinite", [](ModelPlan &s) { s.bodyParts[0].models[0].normals[2].z = -INFINITY; }},
        {"palette_cut", [](ModelPlan &s) { s.trim = 1; }},
        {"pixels_cut", [](ModelPlan &s) { s.trim = 769; }},
        {"texture_width", [](ModelPlan &s) { s.textures[0].width = -1; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ModelPlan plan = good;
        c.damage(plan);
        // groups33 is refused before any of its 32 group files is looked for.
        const std::string path = WriteModel(dir, c.name, Build(plan));
        if (std::string(c.name) == "fine")
            EXPECT_NE(UsableMdlModelAt(Load(path)), nullptr);
        else
            ExpectFailedLoad(path, "Invalid file format (corrupt data): " + path + "!");
    }
}

// Body parts sharing one long strip: the pose's record total must stay
// countable (indices three per triangle in 32 bits).
TEST(MdlLoad, RecordTotalsBeyondThirtyTwoBitIndicesAreRefused) {
    std::vector<int16_t> strip{32767};
    for (int i = 0; i < 32767; ++i) strip.insert(strip.end(), {static_cast<int16_t>(i % 3), 0, 0, 0});
    strip.push_back(0);
    const std::vector<uint8_t> one = Build(SimpleModel({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, strip)).main;
    // parts copies of the one body part record, in a table after the file.
    auto shared = [&](int32_t parts) {
        std::vector<uint8_t> bytes = one;
        const size_t first = static_cast<size_t>(I32(one, 208));
        const auto table = static_cast<int32_t>(bytes.size());
        for (int32_t p = 0; p < parts; ++p)
            bytes.insert(bytes.end(), one.begin() + static_cast<std::ptrdiff_t>(first),
                         one.begin() + static_cast<std::ptrdiff_t>(first + 76));
        std::memcpy(bytes.data() + 204, &parts, 4);
        std::memcpy(bytes.data() + 208, &table, 4);
        return bytes;
    };
    MdlModel model;
    model.header = shared(8192);  // 8192 x 32767 records: just under 2^28
    EXPECT_TRUE(ValidateMdl(model));
    EXPECT_EQ(MdlMeshSizes(model).records, 8192 * 32767);
    model.header = shared(8193);
    EXPECT_FALSE(ValidateMdl(model));
}

TEST(MdlLoad, SetControllerCases) {
    struct Case {
        Controller controller;
        int32_t number;
        float value;
        int setting;  // -1: nothing stored
        double result;
    };
    const Case cases[] = {
        {{0x20, -45, 45, 0}, 0, 0.0f, 127, 90.0 * 127 / 255 - 45},
        {{0x08, 0, 360, 1}, 1, 400.0f, 28, 360.0 * 28 / 255},
        {{0x08, 0, 360, 1}, 1, -30.0f, 233, 360.0 * 233 / 255},     // 330 of a full turn
        {{0x20, 45, -45, 2}, 2, 10.0f, 155, -90.0 * 155 / 255 + 45},  // reversed: -10
        {{0x01, 0, 10, 3}, 3, 20.0f, 255, 10.0},                      // clamped
        {{0x01, 0, 10, 3}, 3, -5.0f, 0, 0.0},
        {{0x01, 4, 4, 0}, 0, 9.0f, 0, 4.0},                           // no range: stays at its start
        {{0x01, 0, 10, 0}, 2, 3.5f, -1, 3.5},                         // no controller of that number
        {{0x01, 0, 10, 6}, 6, 5.0f, -1, 10.0 * 127 / 255},            // mouth-range number: nothing stored
    };
    const std::string dir = TempDir("mdl_controllers");
    int i = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(i);
        ModelPlan plan = SimpleModel({}, {0});
        plan.controllers = {c.controller};
        MdlModel model;
        ASSERT_EQ(LoadMdl(model, WriteModel(dir, "c" + std::to_string(i++), Build(plan)).c_str()), MdlLoadResult::Ok);
        std::memset(model.controllers, 200, 4);
        EXPECT_NEAR(SetController(model, c.number, c.value), c.result, 1e-4);
        for (int n = 0; n < 4; ++n)
            EXPECT_EQ(model.controllers[n], n == c.number && c.setting >= 0 ? c.setting : 200) << n;
    }
}

}  // namespace
}  // namespace vesk::test
