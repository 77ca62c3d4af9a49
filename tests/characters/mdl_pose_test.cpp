// MDL pose: channel decoding against an independent decoder, the rotation
// pieces, the frame clock, bone chains, records, triangles, and the posed
// skeleton of a real model over a driven clock (with a picture of it).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>

#include "characters/mdl_model.h"
#include "characters/mdl_test_util.h"

namespace vesk::test {
namespace {

using namespace mdlb;
using mdl::Quaternion;

// The value of every frame, unrolled from the runs: each run gives its valid
// values, then repeats its last one to cover total frames.
std::vector<int16_t> Unroll(const std::vector<int16_t> &stream) {
    std::vector<int16_t> frames;
    size_t p = 0;
    while (p < stream.size()) {
        const int valid = stream[p] & 0xFF, total = (stream[p] >> 8) & 0xFF;
        for (int f = 0; f < total; ++f) frames.push_back(stream[p + 1 + static_cast<size_t>(std::min(f, valid - 1))]);
        p += 1 + static_cast<size_t>(valid);
    }
    return frames;
}

std::vector<uint8_t> Bytes(const std::vector<int16_t> &entries) {
    std::vector<uint8_t> b(2 * entries.size());
    std::memcpy(b.data(), entries.data(), b.size());
    return b;
}

TEST(MdlPose, ChannelDecodingMatchesUnrolledStreams) {
    // The documented run: valid 2, total 5, values 10, 20; then a run of 30s.
    const std::vector<int16_t> example{RunHeader(2, 5), 10, 20, RunHeader(1, 3), 30};
    const auto bytes = Bytes(example);
    const struct {
        int frame, a1, a2;
    } expected[] = {{0, 10, 20}, {1, 20, 20}, {3, 20, 20}, {4, 20, 30}, {5, 30, 30}};
    for (const auto &e : expected) {
        const mdl::ChannelValues c = mdl::DecodeChannel(bytes, 0, e.frame);
        EXPECT_EQ(std::make_pair(int{c.a1}, int{c.a2}), std::make_pair(e.a1, e.a2)) << e.frame;
    }
    // Seeded streams of runs with 1 <= valid <= total: a1 and a2 are the
    // unrolled values of the frame and the next one.
    std::mt19937 rng(11);
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<int16_t> stream;
        const int runs = 1 + static_cast<int>(rng() % 6);
        for (int r = 0; r < runs; ++r) {
            const int total = 1 + static_cast<int>(rng() % (trial % 3 == 0 ? 255 : 6));
            const int valid = 1 + static_cast<int>(rng() % static_cast<unsigned>(total));
            stream.push_back(RunHeader(valid, total));
            for (int v = 0; v < valid; ++v) stream.push_back(static_cast<int16_t>(rng() % 2001) - 1000);
        }
        const auto frames = Unroll(stream);
        const auto b = Bytes(stream);
        for (size_t f = 0; f + 1 < frames.size(); ++f) {
            const mdl::ChannelValues c = mdl::DecodeChannel(b, 0, static_cast<int32_t>(f));
            ASSERT_EQ(std::make_pair(c.a1, c.a2), std::make_pair(frames[f], frames[f + 1])) << trial << " frame " << f;
        }
    }
}

// Rotation matrix of Euler angles (roll about x, then pitch about y, then yaw about z).
void EulerMatrix(const float (&a)[3], double (&m)[3][3]) {
    const double cr = std::cos(a[0]), sr = std::sin(a[0]), cp = std::cos(a[1]), sp = std::sin(a[1]);
    const double cy = std::cos(a[2]), sy = std::sin(a[2]);
    const double rx[3][3] = {{1, 0, 0}, {0, cr, -sr}, {0, sr, cr}};
    const double ry[3][3] = {{cp, 0, sp}, {0, 1, 0}, {-sp, 0, cp}};
    const double rz[3][3] = {{cy, -sy, 0}, {sy, cy, 0}, {0, 0, 1}};
    double t[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) t[i][j] = ry[i][0] * rx[0][j] + ry[i][1] * rx[1][j] + ry[i][2] * rx[2][j];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m[i][j] = rz[i][0] * t[0][j] + rz[i][1] * t[1][j] + rz[i][2] * t[2][j];
}

TEST(MdlPose, RotationPiecesAgreeWithEulerMatricesAndSlerpEnds) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> angle(-3.1f, 3.1f), unit(0.0f, 1.0f);
    for (int trial = 0; trial < 200; ++trial) {
        const float a[3] = {angle(rng), angle(rng), angle(rng)};
        mdl::BoneMatrix m;
        mdl::QuaternionMatrix(mdl::AngleQuaternion(a), m);
        double e[3][3];
        EulerMatrix(a, e);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) ASSERT_NEAR(m[i][j], e[i][j], 1e-5) << trial;

        const float b[3] = {angle(rng), angle(rng), angle(rng)};
        const Quaternion p = mdl::AngleQuaternion(a), q = mdl::AngleQuaternion(b);
        const Quaternion negated{-q.x, -q.y, -q.z, -q.w};
        const float t = unit(rng);
        const Quaternion s = mdl::QuaternionSlerp(p, q, t), sn = mdl::QuaternionSlerp(p, negated, t);
        // q and -q are one rotation: the same result, of unit length; the ends
        // are p and (the nearer sign of) q.
        const Quaternion start = mdl::QuaternionSlerp(p, q, 0.0f), end = mdl::QuaternionSlerp(p, q, 1.0f);
        const float sign = p.x * q.x + p.y * q.y + p.z * q.z + p.w * q.w < 0 ? -1.0f : 1.0f;
        const float pairs[][3] = {{s.x, sn.x, 1e-5f}, {s.w, sn.w, 1e-5f}, {s.x * s.x + s.y * s.y + s.z * s.z + s.w * s.w, 1.0f, 1e-4f},
                                  {start.x, p.x, 1e-5f}, {start.w, p.w, 1e-5f}, {end.y, sign * q.y, 1e-4f}, {end.z, sign * q.z, 1e-4f}};
        for (const auto &v : pairs) EXPECT_NEAR(v[0], v[1], v[2]) << trial;
    }
}

struct Slot {
    int32_t index;
    MdlModel *model;
};
Slot LoadBuilt(const ModelPlan &plan, const std::string &name) {
    const std::string path = WriteModel(TempDir("mdl_pose_" + name), name, Build(plan));
    int32_t textures = 0;
    const int32_t index = GetmodelMDL(path.c_str(), &textures) - 1;
    MdlModel *model = UsableMdlModelAt(index);
    EXPECT_NE(model, nullptr) << name;
    return {index, model};
}

TEST(MdlPose, FrameClockSteppingClampAndWrap) {
    ReuseMdlSlots();
    FakeClock clock(50000);
    ModelPlan plan = SimpleModel({{0, 0, 0}}, {1, 0, 0, 0, 0, 0});
    plan.sequences[0].frames = 11;
    plan.sequences[0].fps = 10;
    const Slot eleven = LoadBuilt(plan, "eleven");
    plan.sequences[0].frames = 1;
    const Slot single = LoadBuilt(plan, "single");
    ASSERT_TRUE(eleven.model && single.model);
    CharacterVertex records[1];
    int32_t count = 0;

    // The first mesh call after module load steps by at most 0.1 s.
    MdlLastTime() = 0.0f;
    GetModelMDLmesh(eleven.index, records, &count);
    EXPECT_NEAR(eleven.model->frame, 1.0f, 1e-4f);
    eleven.model->frame = 0.0f;
    for (int i = 0; i < 10; ++i) {
        clock.Advance(50);
        GetModelMDLmesh(eleven.index, records, &count);
    }
    EXPECT_NEAR(eleven.model->frame, 5.0f, 1e-3f);
    clock.Advance(2000);  // a pause: one step of 0.1 s only
    GetModelMDLmesh(eleven.index, records, &count);
    EXPECT_NEAR(eleven.model->frame, 6.0f, 1e-3f);
    // The clock is module-wide: a call for another model takes the time step.
    clock.Advance(100);
    GetModelMDLmesh(single.index, records, &count);
    EXPECT_EQ(single.model->frame, 0.0f);  // one frame: always frame 0
    clock.Advance(30);
    GetModelMDLmesh(eleven.index, records, &count);
    EXPECT_NEAR(eleven.model->frame, 6.3f, 1e-3f);

    // Wrap over [0, 10), and a clock that runs backwards stays inside it.
    for (int i = 0; i < 200; ++i) {
        const double before = eleven.model->frame;
        if (i % 50 == 49)
            clock.Set(50000 + 7 * static_cast<uint32_t>(i));
        else
            clock.Advance(70);
        GetModelMDLmesh(eleven.index, records, &count);
        const double f = eleven.model->frame;
        ASSERT_TRUE(f >= 0.0 && f < 10.0) << i << " " << f;
        if (i % 50 != 49) {
            EXPECT_NEAR(std::fmod(f - before + 10.0, 10.0), 0.7, 1e-3) << i;
        }
    }
}

// Bone chain: a root with its own matrix, a child with parent x own.
TEST(MdlPose, BoneChainRecordsAndTextureCoordinates) {
    ReuseMdlSlots();
    FakeClock clock(90000);
    ModelPlan plan = SimpleModel({{1, 2, 3}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 0, 0}, {2, 1, 0}},
                            {4, 0, 0, 32, 16, 1, 1, 0, 0, 2, 2, 64, 32, 3, 3, 0, 0,  //
                             -3, 4, 4, 0, 0, 5, 5, 0, 0, 6, 6, 0, 0, 0});
    plan.bones = {Bone{}, Bone{0, {-1, -1, -1, -1, -1, -1}, {5, -2, 1, 0.3f, -0.7f, 1.1f}},
                  Bone{1, {-1, -1, -1, -1, -1, -1}, {0, 4, 0, 0.5f, 0.25f, -0.4f}}};
    plan.sequences[0].streams.assign(3, {});
    auto &model = plan.bodyParts[0].models[0];
    model.vertexBones = {0, 1, 1, 2, 2, 2, 2};
    // A second mesh with a chrome texture for the fan.
    model.meshes[0].commands = {4, 0, 0, 32, 16, 1, 1, 0, 0, 2, 2, 64, 32, 3, 3, 0, 0, 0};
    model.meshes[0].normals = 4;
    model.meshes.push_back(Mesh{{-3, 4, 4, 0, 0, 5, 5, 0, 0, 6, 6, 0, 0, 0}, 1, 3});
    plan.textures = {Texture{0, 64, 32, {}, {}}, Texture{2, 128, 0, {}, {}}};
    plan.skinReferences = 2;
    plan.skins = {0, 1};
    const Slot slot = LoadBuilt(plan, "chain");
    ASSERT_TRUE(slot.model);

    int32_t sizes[2];
    VeskGetModelMDLcounts(slot.index, sizes);
    EXPECT_EQ(std::vector<int32_t>(sizes, sizes + 2), (std::vector<int32_t>{7, 9}));
    std::vector<CharacterVertex> records(8);
    for (auto &r : records) r.unused[0] = r.unused[1] = r.unused[2] = 77.0f;
    int32_t count = -1;
    GetModelMDLmesh(slot.index, records.data(), &count);
    ASSERT_EQ(count, 7);

    // Root: exactly its own matrix, so vertex (1, 2, 3) is written (1, 2, 3).
    EXPECT_EQ((std::vector<float>{records[0].x, records[0].y, records[0].z}), (std::vector<float>{1, 2, 3}));
    // Every record: the vertex through the chain of Euler matrices.
    double world[3][3][4];
    for (int b = 0; b < 3; ++b) {
        double r[3][3];
        const float a[3] = {plan.bones[b].value[3], plan.bones[b].value[4], plan.bones[b].value[5]};
        EulerMatrix(a, r);
        double local[3][4];
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) local[i][j] = r[i][j];
            local[i][3] = plan.bones[b].value[i];
        }
        const int parent = plan.bones[b].parent;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 4; ++j)
                world[b][i][j] = parent < 0 ? local[i][j]
                                            : world[parent][i][0] * local[0][j] + world[parent][i][1] * local[1][j] +
                                                  world[parent][i][2] * local[2][j] + (j == 3 ? world[parent][i][3] : 0);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 4; ++j) EXPECT_NEAR(MdlBoneTransform(b)[i][j], world[b][i][j], 1e-4) << b;
    }
    for (int n = 0; n < 7; ++n) {  // the commands name vertices 0-6 in order
        const Vector3 v = model.vertices[static_cast<size_t>(n)];
        const auto &m = world[model.vertexBones[static_cast<size_t>(n)]];
        double p[3];
        for (int i = 0; i < 3; ++i) p[i] = v.x * m[i][0] + v.y * m[i][1] + v.z * m[i][2] + m[i][3];
        const CharacterVertex &r = records[static_cast<size_t>(n)];
        EXPECT_LT(std::fabs(r.x - p[0]) + std::fabs(r.y - p[1]) + std::fabs(r.z - p[2]), 3e-4) << n;
        EXPECT_EQ(r.unused[1], 77.0f);
    }
    // Plain meshes: their own s / width, t / height. Chrome (zero view and
    // origin): 32 on both, over width 128 and height 0 (no size: 0).
    EXPECT_FLOAT_EQ(records[0].u, 32.0f / 64);
    EXPECT_FLOAT_EQ(records[0].v, 16.0f / 32);
    EXPECT_FLOAT_EQ(records[2].u, 1.0f);
    EXPECT_FLOAT_EQ(records[2].v, 1.0f);
    for (int n = 4; n < 7; ++n) {
        EXPECT_FLOAT_EQ(records[static_cast<size_t>(n)].u, 32.0f / 128);
        EXPECT_EQ(records[static_cast<size_t>(n)].v, 0.0f);
    }
    EXPECT_EQ(records[7].unused[0], 77.0f);  // nothing past the count

    // Strip 0-3 with alternating winding, fan 4-6 around its first vertex.
    std::vector<uint32_t> indices(10, 0);
    VeskGetModelMDLtriangles(slot.index, indices.data(), &count);
    EXPECT_EQ(count, 9);
    EXPECT_EQ(indices, (std::vector<uint32_t>{0, 1, 2, 2, 1, 3, 4, 5, 6, 0}));
}

TEST(MdlPose, ControllersAndNoBodyParts) {
    ReuseMdlSlots();
    FakeClock clock(120000);
    ModelPlan plan = SimpleModel({{0, 1, 0}}, {1, 0, 0, 0, 0, 0});
    plan.bones[0].controller = {0, 3, -1, 2, -1, 1};
    plan.controllers = {Controller{0x01, 2, 10, 0}, Controller{0x20, 0, 90, 1}, Controller{0x8008, 0, 360, 2},
                        Controller{0x02, 0, 8, 4}};  // the last one is the mouth's
    const Slot slot = LoadBuilt(plan, "controlled");
    ASSERT_TRUE(slot.model);
    CharacterVertex record{};
    int32_t count = 0;
    struct Setting {
        uint8_t c0, c1, c2, mouth;
        float x, y, z;
    } settings[] = {
        {0, 0, 0, 0, 2, 1, 0},   // after the load: controller 0 at its start (2), controller 1 at 0 degrees
        {255, 255, 0, 0, 9, 0, 0},  // full: x moves to 10, the vertex turns 90 degrees about z
        // A wrapping controller turns 1.40625 degrees per step (64: 90 about x);
        // the mouth at 32 of 64 moves y halfway to 8.
        {0, 0, 64, 32, 2, 4, 1},
    };
    for (const Setting &t : settings) {
        if (&t != settings) {
            slot.model->controllers[0] = t.c0, slot.model->controllers[1] = t.c1, slot.model->controllers[2] = t.c2;
            slot.model->mouth = t.mouth;
        }
        GetModelMDLmesh(slot.index, &record, &count);
        EXPECT_LT(std::fabs(record.x - t.x) + std::fabs(record.y - t.y) + std::fabs(record.z - t.z), 3e-5f) << t.x;
    }

    ModelPlan empty = SimpleModel({}, {0});
    empty.bodyParts.clear();
    const Slot none = LoadBuilt(empty, "no_parts");
    ASSERT_TRUE(none.model);
    count = 1234;
    record.x = 55.0f;
    int32_t sizes[2] = {-1, -1};
    VeskGetModelMDLcounts(none.index, sizes);
    EXPECT_EQ(sizes[0] | sizes[1], 0);
    const float lastTime = MdlLastTime();
    clock.Advance(10);
    GetModelMDLmesh(none.index, &record, &count);
    EXPECT_EQ(count, 1234);
    EXPECT_EQ(record.x, 55.0f);
    EXPECT_NE(MdlLastTime(), lastTime);  // the clock still stepped
    VeskGetModelMDLtriangles(none.index, nullptr, &count);
    EXPECT_EQ(count, 0);
    // Out of range slots.
    for (int32_t index : {-1, kMaxMdlModels, 1 << 30}) {
        count = 9;
        EXPECT_EQ(GetModelMDLmesh(index, &record, &count), index);
        EXPECT_EQ(count, 0);
    }
}

// Orthographic front view (x right, height up) of a triangle list, shaded by
// facing; returns the number of pixels drawn.
int Render(const std::vector<CharacterVertex> &r, const std::vector<uint32_t> &idx, const std::string &path,
           bool side = false) {
    const int w = 256, h = 256;
    std::vector<uint8_t> rgb(3 * w * h, 30);
    std::vector<float> depth(w * h, 1e30f);
    float lo[2] = {1e30f, 1e30f}, hi[2] = {-1e30f, -1e30f};
    auto across = [side](const CharacterVertex &v) { return side ? v.y : v.x; };
    auto deep = [side](const CharacterVertex &v) { return side ? v.x : v.y; };
    for (const auto &v : r) {
        lo[0] = std::min(lo[0], across(v)), hi[0] = std::max(hi[0], across(v));
        lo[1] = std::min(lo[1], v.z), hi[1] = std::max(hi[1], v.z);
    }
    const float scale = 0.9f * w / std::max(hi[0] - lo[0], hi[1] - lo[1]);
    auto sx = [&](const CharacterVertex &v) { return (across(v) - (lo[0] + hi[0]) / 2) * scale + w / 2.0f; };
    auto sy = [&](const CharacterVertex &v) { return h / 2.0f - (v.z - (lo[1] + hi[1]) / 2) * scale; };
    int drawn = 0;
    for (size_t t = 0; t + 2 < idx.size(); t += 3) {
        const CharacterVertex &a = r[idx[t]], &b = r[idx[t + 1]], &c = r[idx[t + 2]];
        const float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z, vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
        const float nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
        const float len = std::sqrt(nx * nx + ny * ny + nz * nz) + 1e-12f;
        const uint8_t shade = static_cast<uint8_t>(60 + 190 * std::fabs((side ? nx : ny) / len));
        const float x0 = sx(a), y0 = sy(a), x1 = sx(b), y1 = sy(b), x2 = sx(c), y2 = sy(c);
        const float area = (x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0);
        if (std::fabs(area) < 1e-6f) continue;
        for (int y = std::max(0, int(std::min({y0, y1, y2}))); y <= std::min(h - 1, int(std::max({y0, y1, y2}))); ++y)
            for (int x = std::max(0, int(std::min({x0, x1, x2}))); x <= std::min(w - 1, int(std::max({x0, x1, x2}))); ++x) {
                const float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
                const float l1 = ((x2 - px) * (y0 - py) - (x0 - px) * (y2 - py)) / area;
                const float l2 = ((x0 - px) * (y1 - py) - (x1 - px) * (y0 - py)) / area;
                const float l0 = 1 - l1 - l2;
                if (l0 < 0 || l1 < 0 || l2 < 0) continue;
                const float d = l0 * deep(a) + l1 * deep(b) + l2 * deep(c);
                if (d >= depth[y * w + x]) continue;
                depth[y * w + x] = d;
                uint8_t *p = &rgb[3 * (y * w + x)];
                p[0] = shade, p[1] = static_cast<uint8_t>(shade * 0.8f), p[2] = static_cast<uint8_t>(shade * 0.6f);
                ++drawn;
            }
    }
    WritePng(path, w, h, rgb);
    return drawn;
}

// Sequence 0 of man.mdl is its reference pose; the walk (1) and the
// four-way blend (2) are posed too by selecting them inside the slot.
class MdlManPose : public testing::TestWithParam<int32_t> {};

TEST_P(MdlManPose, StaysAConnectedFigureAndMovesSmoothly) {
    ReuseMdlSlots();
    FakeClock clock(200000);
    const int32_t sequence = GetParam();
    int32_t textures = 0;
    const int32_t index = GetmodelMDL(DataPath("assimp/MDL/MDL (HL1)/man.mdl").c_str(), &textures) - 1;
    MdlModel *model = UsableMdlModelAt(index);
    ASSERT_NE(model, nullptr);
    model->sequence = sequence;
    model->blending[0] = 100;
    model->blending[1] = 200;
    const auto bytes = ReadAll(DataPath("assimp/MDL/MDL (HL1)/man.mdl"));
    int32_t bones, boneOffset;
    std::memcpy(&bones, bytes.data() + 140, 4);
    std::memcpy(&boneOffset, bytes.data() + 144, 4);
    int32_t sizes[2];
    VeskGetModelMDLcounts(index, sizes);
    std::vector<CharacterVertex> records(static_cast<size_t>(sizes[0])), previous;
    std::vector<uint32_t> indices(static_cast<size_t>(sizes[1]));
    int32_t count = 0;
    float previousFrame = -1.0f, height = 0.0f;
    int steps = 0;
    for (int step = 0; step < 400; ++step) {
        clock.Advance(step % 3 == 0 ? 1 : 9);
        GetModelMDLmesh(index, records.data(), &count);
        ASSERT_EQ(count, sizes[0]);
        float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
        for (const auto &r : records) {
            ASSERT_TRUE(std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.z)) << step;
            const float c[3] = {r.x, r.y, r.z};
            for (int i = 0; i < 3; ++i) lo[i] = std::min(lo[i], c[i]), hi[i] = std::max(hi[i], c[i]);
        }
        const float extent = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
        if (step == 0) height = extent;
        // A figure of one size: between a quarter and four times its first extent.
        ASSERT_TRUE(extent > 1.0f && extent < 1000.0f) << step << " " << extent;
        ASSERT_TRUE(extent > height / 4 && extent < height * 4) << step;
        // Connected: no bone further from its parent than the figure is tall.
        for (int32_t b = 0; b < bones; ++b) {
            int32_t parent;
            std::memcpy(&parent, bytes.data() + static_cast<size_t>(boneOffset) + 112 * static_cast<size_t>(b) + 32, 4);
            if (parent < 0) continue;
            const auto &c = MdlBoneTransform(b), &p = MdlBoneTransform(parent);
            const float d = std::hypot(c[0][3] - p[0][3], c[1][3] - p[1][3], c[2][3] - p[2][3]);
            ASSERT_LT(d, extent * 0.6f) << step << " bone " << b;
        }
        // Smooth: a 1-9 ms step moves no vertex by more than 5% of the figure,
        // unless the frame wrapped.
        if (!previous.empty() && model->frame >= previousFrame) {
            ++steps;
            for (size_t i = 0; i < records.size(); ++i)
                ASSERT_LT(std::hypot(records[i].x - previous[i].x, records[i].y - previous[i].y,
                                     records[i].z - previous[i].z),
                          0.05f * extent)
                    << step << " vertex " << i;
        }
        previous = records;
        previousFrame = model->frame;
        if (step % 100 == 0) {
            VeskGetModelMDLtriangles(index, indices.data(), &count);
            ASSERT_EQ(count, sizes[1]);
            // Kept after the run for looking at, outside the source tree.
            const auto dir = std::filesystem::temp_directory_path() / "vesk_mdl_renders";
            std::filesystem::create_directories(dir);
            const std::string name = (dir / ("man_" + std::to_string(sequence) + "_" + std::to_string(step))).string();
            EXPECT_GT(Render(records, indices, name + ".png"), 2000);
            EXPECT_GT(Render(records, indices, name + "_side.png", true), 1000);
        }
    }
    EXPECT_GT(steps, 300);
}

INSTANTIATE_TEST_SUITE_P(Sequences, MdlManPose, testing::Values(0, 1, 2));

}  // namespace
}  // namespace vesk::test
