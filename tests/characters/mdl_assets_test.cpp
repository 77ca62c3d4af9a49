// MDL sequences, textures, mesh ranges and sequence choice on every real
// model, against a reader and a pose written here from the file layout.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>

#include "characters/mdl_model.h"
#include "characters/mdl_reference.h"
#include "characters/mdl_test_util.h"

namespace vesk::test {
namespace {

namespace fs = std::filesystem;

struct File {
    std::vector<uint8_t> b;
    template <class T>
    T At(int64_t at) const {
        T v;
        std::memcpy(&v, b.data() + at, sizeof v);
        return v;
    }
    int32_t I(int64_t at) const { return At<int32_t>(at); }
};

struct Real {
    std::string path;
    File main, tex;
    std::vector<File> groups;
};

std::vector<Real> RealModels() {
    std::vector<Real> out;
    for (const auto &entry : fs::recursive_directory_iterator(DataPath("assimp/MDL/MDL (HL1)"))) {
        if (!entry.is_regular_file()) continue;
        Real r{entry.path().string(), {ReadAll(entry.path().string())}, {}, {}};
        if (r.main.b.size() < 4 || std::memcmp(r.main.b.data(), "IDST", 4) != 0 || r.main.I(204) == 0) continue;
        const std::string stem = r.path.substr(0, r.path.size() - 4);
        r.tex = r.main.I(180) == 0 ? File{ReadAll(stem + "T.mdl")} : r.main;
        for (int g = 1; g < r.main.I(172); ++g) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, "%02d", g);
            r.groups.push_back({ReadAll(stem + suffix + ".mdl")});
        }
        out.push_back(std::move(r));
    }
    return out;
}

// (mesh offset, its index count) of model 0 of every body part, in order.
std::vector<std::pair<int32_t, int32_t>> Meshes(const File &m) {
    std::vector<std::pair<int32_t, int32_t>> out;
    for (int32_t part = 0; part < m.I(204); ++part) {
        const int32_t model = m.I(m.I(208) + 76 * part + 72);
        for (int32_t k = 0; k < m.I(model + 72); ++k) {
            const int32_t mesh = m.I(model + 76) + 20 * k;
            int32_t indices = 0;
            for (int64_t p = m.I(mesh + 4); m.At<int16_t>(p) != 0; p += 2 + 8 * std::abs(m.At<int16_t>(p)))
                indices += 3 * std::max(0, std::abs(m.At<int16_t>(p)) - 2);
            out.emplace_back(mesh, indices);
        }
    }
    return out;
}

int32_t Load(const Real &r) {
    int32_t textures = 0;
    return GetmodelMDL(r.path.c_str(), &textures) - 1;
}

TEST(MdlAssets, SequencesTexturesAndMeshRangesAreThoseOfTheFiles) {
    ReuseMdlSlots();
    FakeClock clock;
    int models = 0, masked = 0;
    for (const Real &r : RealModels()) {
        SCOPED_TRACE(r.path);
        ++models;
        const int32_t index = Load(r);
        const File &m = r.main, &t = r.tex;
        // Sequences, one guard record after them.
        const int32_t count = VeskGetModelMDLsequences(index, nullptr);
        ASSERT_EQ(count, m.I(164));
        std::vector<VeskMdlSequence> seqs(static_cast<size_t>(count) + 1, {{}, 0.0f, 0x5A5A, 0, 0});
        EXPECT_EQ(VeskGetModelMDLsequences(index, seqs.data()), count);
        for (int32_t q = 0; q < count; ++q) {
            const int64_t at = m.I(168) + 176 * q;
            VeskMdlSequence e{{}, m.At<float>(at + 32), m.I(at + 56), m.I(at + 36), m.I(at + 40)};
            std::strncpy(e.name, reinterpret_cast<const char *>(m.b.data() + at), 31);
            EXPECT_EQ(std::memcmp(&seqs[static_cast<size_t>(q)], &e, sizeof e), 0) << q;
        }
        EXPECT_EQ(seqs.back().frameCount, 0x5A5A);
        // Textures: palette colours, alpha 0 for entry 255 of masked ones.
        const int32_t textures = VeskGetModelMDLtexture(index, -1, nullptr, nullptr);
        ASSERT_EQ(textures, t.I(180));
        for (int32_t k = 0; k < textures; ++k) {
            const int64_t rec = t.I(184) + 80 * k;
            const int32_t w = t.I(rec + 68), h = t.I(rec + 72), flags = t.I(rec + 64);
            std::vector<uint8_t> expected;
            for (int64_t i = 0; i < int64_t{w} * h; ++i) {
                const uint8_t e = t.b[static_cast<size_t>(t.I(rec + 76) + i)];
                const uint8_t *c = t.b.data() + t.I(rec + 76) + int64_t{w} * h + 3 * e;
                const bool clear = (flags & 0x40) && e == 255;
                masked += clear;
                expected.insert(expected.end(), {c[0], c[1], c[2], static_cast<uint8_t>(clear ? 0 : 255)});
            }
            int32_t size[2] = {-1, -1};
            EXPECT_EQ(VeskGetModelMDLtexture(index, k, nullptr, size), textures);
            EXPECT_EQ((std::vector<int32_t>{size[0], size[1]}), (std::vector<int32_t>{w, h}));
            std::vector<uint8_t> rgba(expected.size() + 1, 0xEE);
            VeskGetModelMDLtexture(index, k, rgba.data(), size);
            expected.push_back(0xEE);  // the byte after stays
            EXPECT_TRUE(rgba == expected) << "texture " << k;
        }
        int32_t size[2] = {-1, -1};
        uint8_t pixel = 0xEE;
        EXPECT_EQ(VeskGetModelMDLtexture(index, textures, &pixel, size), textures);
        EXPECT_EQ((std::vector<int32_t>{size[0], size[1], pixel}), (std::vector<int32_t>{-1, -1, 0xEE}));
        // Mesh ranges: consecutive, over the whole triangle list, textured
        // through skin family 0.
        std::vector<int32_t> expected;
        int32_t first = 0;
        for (const auto &[mesh, indices] : Meshes(m)) {
            expected.insert(expected.end(), {first, indices, t.At<int16_t>(t.I(200) + 2 * m.I(mesh + 8))});
            first += indices;
        }
        const int32_t meshes = VeskGetModelMDLmeshes(index, nullptr);
        ASSERT_EQ(3 * meshes, static_cast<int32_t>(expected.size()));
        std::vector<int32_t> ranges(expected.size() + 1, -9);
        EXPECT_EQ(VeskGetModelMDLmeshes(index, ranges.data()), meshes);
        expected.push_back(-9);
        EXPECT_EQ(ranges, expected);
        int32_t sizes[2];
        VeskGetModelMDLcounts(index, sizes);
        EXPECT_EQ(first, sizes[1]);
    }
    EXPECT_GE(models, 12);
    EXPECT_GT(masked, 0);  // the masked texture of the test data has clear pixels
    // Unknown and unusable slots answer 0 and write nothing.
    VeskMdlSequence seq{};
    int32_t range = -9, size[2] = {-1, -1};
    for (int32_t index : {-1, MdlCount(), kMaxMdlModels}) {
        EXPECT_EQ(VeskGetModelMDLsequences(index, &seq), 0);
        EXPECT_EQ(VeskGetModelMDLtexture(index, 0, nullptr, size), 0);
        EXPECT_EQ(VeskGetModelMDLmeshes(index, &range), 0);
        EXPECT_EQ(VeskSetModelMDLsequence(index, 0), 0);
    }
    EXPECT_EQ((std::vector<int32_t>{seq.frameCount, range, size[0]}), (std::vector<int32_t>{0, -9, -1}));
}

// The pose of one sequence at an integer frame, blend 0, straight from the
// file: unrolled channels, Euler rotations, the bone chain, rigid skinning.
std::vector<Vector3> FilePose(const Real &r, int32_t q, int32_t frame, const float *adjustments) {
    const File &m = r.main;
    const int64_t seq = m.I(168) + 176 * q;
    const int32_t group = m.I(seq + 156);
    const File &f = group == 0 ? m : r.groups[static_cast<size_t>(group - 1)];
    const int64_t anim = (group == 0 ? m.I(m.I(176) + 100) : 0) + m.I(seq + 124);
    const int32_t bones = m.I(140);
    std::vector<std::array<double, 12>> transform(static_cast<size_t>(bones));
    for (int32_t i = 0; i < bones; ++i) {
        const int64_t bone = m.I(144) + 112 * i, record = anim + 12 * i;
        double value[6];
        for (int k = 0; k < 6; ++k) {
            value[k] = m.At<float>(bone + 64 + 4 * k);
            if (const uint16_t o = f.At<uint16_t>(record + 2 * k)) {
                int64_t p = record + o;
                int32_t left = frame;
                while (f.b[static_cast<size_t>(p + 1)] <= left) left -= f.b[static_cast<size_t>(p + 1)], p += 2 * (f.b[static_cast<size_t>(p)] + 1);
                const int32_t valid = f.b[static_cast<size_t>(p)];
                value[k] += f.At<int16_t>(p + 2 * (left < valid ? left + 1 : valid)) * double{m.At<float>(bone + 88 + 4 * k)};
            }
            if (const int32_t c = m.I(bone + 40 + 4 * k); c != -1) value[k] += adjustments[c];
        }
        if (m.I(seq + 68) & 7 && m.I(seq + 72) == i)
            for (int a = 0; a < 3; ++a)
                if (m.I(seq + 68) & (1 << a)) value[a] = 0;
        // R = Rz(value[5]) Ry(value[4]) Rx(value[3]).
        const double cx = std::cos(value[3]), sx = std::sin(value[3]), cy = std::cos(value[4]), sy = std::sin(value[4]);
        const double cz = std::cos(value[5]), sz = std::sin(value[5]);
        const std::array<double, 12> own{cz * cy, cz * sy * sx - sz * cx, cz * sy * cx + sz * sx, value[0],
                                         sz * cy, sz * sy * sx + cz * cx, sz * sy * cx - cz * sx, value[1],
                                         -sy,     cy * sx,                cy * cx,                value[2]};
        const int32_t parent = m.I(bone + 32);
        if (parent < 0) {
            transform[static_cast<size_t>(i)] = own;
            continue;
        }
        const auto &pm = transform[static_cast<size_t>(parent)];
        auto &out = transform[static_cast<size_t>(i)];
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 4; ++col)
                out[4 * row + col] = pm[4 * row] * own[col] + pm[4 * row + 1] * own[4 + col] + pm[4 * row + 2] * own[8 + col] +
                                     (col == 3 ? pm[4 * row + 3] : 0.0);
    }
    std::vector<Vector3> points;
    for (int32_t part = 0; part < m.I(204); ++part) {
        const int32_t model = m.I(m.I(208) + 76 * part + 72);
        for (int32_t k = 0; k < m.I(model + 72); ++k) {
            for (int64_t p = m.I(m.I(model + 76) + 20 * k + 4); m.At<int16_t>(p) != 0;) {
                const int n = std::abs(m.At<int16_t>(p));
                for (int v = 0; v < n; ++v) {
                    const int16_t vi = m.At<int16_t>(p + 2 + 8 * v);
                    const auto &b = transform[m.b[static_cast<size_t>(m.I(model + 84) + vi)]];
                    const int64_t at = m.I(model + 88) + 12 * vi;
                    const double x = m.At<float>(at), y = m.At<float>(at + 4), z = m.At<float>(at + 8);
                    double o[3];
                    for (int row = 0; row < 3; ++row) o[row] = x * b[4 * row] + y * b[4 * row + 1] + z * b[4 * row + 2] + b[4 * row + 3];
                    points.push_back({static_cast<float>(o[0]), static_cast<float>(o[1]), static_cast<float>(o[2])});
                }
                p += 2 + 8 * n;
            }
        }
    }
    return points;
}

TEST(MdlAssets, AChosenSequencePosesAsTheFileSays) {
    ReuseMdlSlots();
    FakeClock clock(40000);  // whole seconds: a call without a tick steps by 0
    int poses = 0;
    for (const Real &r : RealModels()) {
        SCOPED_TRACE(r.path);
        const int32_t index = Load(r);
        MdlModel *model = UsableMdlModelAt(index);
        ASSERT_NE(model, nullptr);
        int32_t sizes[2];
        VeskGetModelMDLcounts(index, sizes);
        std::vector<CharacterVertex> records(static_cast<size_t>(sizes[0]));
        int32_t count = 0;
        GetModelMDLmesh(index, records.data(), &count);
        const int32_t sequences = VeskGetModelMDLsequences(index, nullptr);
        EXPECT_EQ(VeskSetModelMDLsequence(index, sequences), 0);
        EXPECT_EQ(VeskSetModelMDLsequence(index, -1), 0);
        EXPECT_EQ(model->sequence, 0);
        for (int32_t q = sequences - 1; q >= 0; --q) {
            const int32_t frames = r.main.I(r.main.I(168) + 176 * q + 56);
            for (int32_t frame : {0, (frames - 1) / 2, frames - 2}) {
                if (frame < 0 || (frame > 0 && frame >= frames - 1)) continue;
                model->frame = 7.0f;
                ASSERT_EQ(VeskSetModelMDLsequence(index, q), 1);
                ASSERT_EQ(model->frame, 0.0f);
                model->frame = static_cast<float>(frame);
                GetModelMDLmesh(index, records.data(), &count);
                ASSERT_EQ(model->frame, static_cast<float>(frame));
                const std::vector<Vector3> expected = FilePose(r, q, frame, model->adjustments);
                ASSERT_EQ(expected.size(), records.size());
                float extent = 1.0f;
                for (const Vector3 &e : expected) extent = std::max({extent, std::fabs(e.x), std::fabs(e.y), std::fabs(e.z)});
                for (size_t i = 0; i < records.size(); ++i) {
                    const CharacterVertex &g = records[i];
                    const float d = std::max({std::fabs(g.x - expected[i].x), std::fabs(g.y - expected[i].y),
                                              std::fabs(g.z - expected[i].z)});
                    ASSERT_LT(d, 2e-4f * extent) << "sequence " << q << " frame " << frame << " vertex " << i;
                }
                ++poses;
            }
        }
    }
    EXPECT_GT(poses, 100);
}

// The library's bone setup and record writer against the plain ones, byte
// for byte (the unused floats included), over every sequence of every model:
// at chosen frames (non-finite ones too), then along a run of small steps,
// repeats and jumps back (what the kept quaternions and slerp setups see in
// play), with seeded controllers, blends, mouth and origins.
TEST(MdlAssets, PosesAreThoseOfThePlainSetupAndWriter) {
    ReuseMdlSlots();
    std::mt19937 rng(20261209);
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    static mdl::BoneMatrix plainBones[kMdlMaxBones];
    int poses = 0;
    for (const Real &r : RealModels()) {
        SCOPED_TRACE(r.path);
        MdlModel *model = UsableMdlModelAt(Load(r));
        ASSERT_NE(model, nullptr);
        const size_t n = static_cast<size_t>(MdlMeshSizes(*model).records);
        std::vector<CharacterVertex> fast(n), plain(n);
        for (int32_t q = 0; q < model->Head().sequenceCount; ++q) {
            const float frames = static_cast<float>(r.main.I(r.main.I(168) + 176 * q + 56));
            std::vector<float> walk = {0.0f, 0.37f, frames * 0.5f + 0.25f, frames - 1.5f, -3.0f, 1e9f, nan, inf};
            for (float f = 0.0f; walk.size() < 48;) {
                static const float kSteps[] = {0.0f, 0.2f, 0.5f, 1.0f, -0.7f};
                walk.push_back(f += kSteps[rng() % 5]);
            }
            for (size_t step = 0; step < walk.size(); ++step) {
                for (size_t i = 0; i < n * sizeof(CharacterVertex); ++i)
                    reinterpret_cast<uint8_t *>(fast.data())[i] = reinterpret_cast<uint8_t *>(plain.data())[i] =
                        static_cast<uint8_t>(rng());
                model->sequence = q;
                model->frame = walk[step];
                if (step < 8 || rng() % 4 == 0) {
                    for (uint8_t &c : model->controllers) c = static_cast<uint8_t>(rng());
                    model->blending[0] = static_cast<uint8_t>(rng());
                    model->blending[1] = static_cast<uint8_t>(rng());
                    model->mouth = static_cast<uint8_t>(rng());
                }
                const float o = rng() % 4 == 0 ? nan : static_cast<float>(rng() % 200) - 100.0f;
                model->origin = {o, -o * 0.5f, 3.0f};
                reference::MdlSetUpBones(*model, plainBones);
                SetUpBones(*model);
                for (int32_t b = 0; b < model->Head().boneCount; ++b)
                    ASSERT_EQ(std::memcmp(MdlBoneTransform(b), plainBones[b], sizeof(mdl::BoneMatrix)), 0)
                        << "sequence " << q << " frame " << walk[step] << " bone " << b;
                model->vertexCount = 0;
                for (int32_t b = 0; b < model->Head().bodyPartCount; ++b) {
                    SetupModel(*model, b);
                    DrawModel(*model, fast.data());
                }
                ASSERT_EQ(model->vertexCount, static_cast<int32_t>(n));
                ASSERT_EQ(reference::MdlRecords(*model, plain.data(), plainBones), static_cast<int32_t>(n));
                ASSERT_EQ(std::memcmp(fast.data(), plain.data(), n * sizeof(CharacterVertex)), 0)
                    << "sequence " << q << " frame " << walk[step];
                model->vertexCount = 0;
                for (int32_t b = 0; b < model->Head().bodyPartCount; ++b) {
                    SetupModel(*model, b);
                    DrawModel(*model, nullptr);
                }
                ASSERT_EQ(model->vertexCount, static_cast<int32_t>(n));
                ++poses;
            }
        }
    }
    EXPECT_GT(poses, 1000);
}

}  // namespace
}  // namespace vesk::test
