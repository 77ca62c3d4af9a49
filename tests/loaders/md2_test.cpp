#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <cstring>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "loaders/md2.h"
#include "support/md2_reference.h"
#include "support/test_support.h"

namespace vesk {
namespace {

using test::DataPath;
using test::FakeClock;
using test::MessageCapture;
using test::ReadAll;
using test::WriteTemp;

// ---------------------------------------------------------------------------
// A small MD2 built byte by byte.

struct Md2Layout {
    int32_t version = 8;
    int32_t ident = 0x32504449;  // "IDP2"
    int32_t skinWidth = 110, skinHeight = 50;
    std::vector<std::string> frameNames = {"frame"};
    int32_t numVertices = 3;
    std::vector<std::array<int16_t, 2>> texCoords = {{55, 25}, {0, 0}, {110, 50}};
    std::vector<std::array<int16_t, 6>> triangles = {{0, 1, 2, 0, 1, 2}};
    int32_t extraFrameBytes = 0;
};

void Put32(std::vector<uint8_t> &b, size_t at, int32_t v) { std::memcpy(&b[at], &v, 4); }
void PutF(std::vector<uint8_t> &b, float v) {
    const size_t at = b.size();
    b.resize(at + 4);
    std::memcpy(&b[at], &v, 4);
}

// Frame f has scale (1, 2, 3), translate (10, 20, 30 + f) and vertex i stored
// as bytes (i + 1, i + 2, i + 3).
std::vector<uint8_t> BuildMd2(const Md2Layout &s) {
    std::vector<uint8_t> b(68, 0);
    const int32_t frameSize = 40 + 4 * s.numVertices + s.extraFrameBytes;
    Put32(b, 0, s.ident);
    Put32(b, 4, s.version);
    Put32(b, 8, s.skinWidth);
    Put32(b, 12, s.skinHeight);
    Put32(b, 16, frameSize);
    Put32(b, 24, s.numVertices);
    Put32(b, 28, static_cast<int32_t>(s.texCoords.size()));
    Put32(b, 32, static_cast<int32_t>(s.triangles.size()));
    Put32(b, 40, static_cast<int32_t>(s.frameNames.size()));
    Put32(b, 44, 68);
    Put32(b, 48, static_cast<int32_t>(b.size()));
    for (const auto &st : s.texCoords) {
        const size_t at = b.size();
        b.resize(at + 4);
        std::memcpy(&b[at], st.data(), 4);
    }
    Put32(b, 52, static_cast<int32_t>(b.size()));
    for (const auto &t : s.triangles) {
        const size_t at = b.size();
        b.resize(at + 12);
        std::memcpy(&b[at], t.data(), 12);
    }
    Put32(b, 56, static_cast<int32_t>(b.size()));
    for (size_t f = 0; f < s.frameNames.size(); ++f) {
        for (float v : {1.0f, 2.0f, 3.0f, 10.0f, 20.0f, 30.0f + static_cast<float>(f)}) PutF(b, v);
        const size_t at = b.size();
        b.resize(at + 16, 0);
        std::memcpy(&b[at], s.frameNames[f].data(), std::min<size_t>(16, s.frameNames[f].size()));
        for (int32_t i = 0; i < s.numVertices; ++i)
            for (int k = 1; k <= 4; ++k) b.push_back(static_cast<uint8_t>(k == 4 ? 0 : i + k));
        b.resize(b.size() + static_cast<size_t>(s.extraFrameBytes), 0);
    }
    Put32(b, 60, static_cast<int32_t>(b.size()));
    Put32(b, 64, static_cast<int32_t>(b.size()));
    return b;
}

std::vector<std::string> Numbered(const std::string &stem, int first, int last, bool pad) {
    std::vector<std::string> names;
    for (int i = first; i <= last; ++i) names.push_back(stem + (pad && i < 10 ? "0" : "") + std::to_string(i));
    return names;
}

using Pairs = std::vector<std::pair<int32_t, int32_t>>;

Pairs AsPairs(const Md2AnimationRange *ranges, size_t count) {
    Pairs pairs;
    for (size_t i = 0; i < count; ++i) pairs.emplace_back(ranges[i].startFrame, ranges[i].endFrame);
    return pairs;
}

Pairs Ranges(const std::vector<std::string> &names) {
    std::vector<std::string_view> views(names.begin(), names.end());
    const auto ranges = Md2AnimationRanges(views);
    return AsPairs(ranges.data(), ranges.size());
}

// ---------------------------------------------------------------------------

TEST(Md2FrameName, OnlyADigitInTheLastTwoPlacesStartsTheNumber) {
    struct Case {
        const char *name, *animation;
        int32_t number;
    } cases[] = {
        {"run10", "run", 10},  {"stand01", "stand", 1}, {"pain101", "pain1", 1}, {"run1", "run", 1},
        {"a12b", "a1", 2},     {"x5y", "x", 5},         {"ab", "ab", 0},         {"9", "9", 0},
        {"", "", 0},           {"07", "", 7},           {"death", "death", 0},   {"taunt011", "taunt0", 11},
    };
    for (const Case &c : cases) {
        std::string_view animation;
        int32_t number = -99;
        SplitFrameName(c.name, animation, number);
        EXPECT_EQ(animation, c.animation) << c.name;
        EXPECT_EQ(number, c.number) << c.name;
    }
}

TEST(Md2AnimationRanges, EndIsTheNextStartAndTheLastClosesAtTheLastFrame) {
    auto names = Numbered("stand", 1, 40, true);
    for (auto &n : Numbered("run", 1, 6, true)) names.push_back(n);
    EXPECT_EQ(Ranges(names), (Pairs{{0, 40}, {40, 45}}));

    // Numbering from 0 shifts the start one frame back.
    EXPECT_EQ(Ranges(Numbered("stand", 0, 3, true)), (Pairs{{-1, 3}}));
    // pain101.. and pain201.. are the animations pain1 and pain2.
    EXPECT_EQ(Ranges({"pain101", "pain102", "pain201", "pain202"}), (Pairs{{0, 2}, {2, 3}}));
}

TEST(Md2AnimationRanges, UnnumberedNamesOneFrameFilesAndALastFrameOfItsOwn) {
    // Every name differs: one range per change, start i - 1, the last frame's own lost.
    EXPECT_EQ(Ranges({"alpha", "beta", "gamma", "delta"}), (Pairs{{-1, 1}, {0, 2}, {1, 3}}));
    EXPECT_TRUE(Ranges({"stand01"}).empty());
    EXPECT_TRUE(Ranges({}).empty());
    // A last frame that starts a new name closes the previous animation there.
    EXPECT_EQ(Ranges({"walk1", "walk2", "walk3", "jump1"}), (Pairs{{0, 3}}));
    // An empty animation name is never written.
    EXPECT_EQ(Ranges({"01", "02", "run1", "run2"}), (Pairs{{2, 3}}));
}

TEST(Md2Export, MeshTurnsTheAxesAndFlipsV) {
    Md2Layout layout;
    layout.frameNames = {"a1", "a2"};
    const std::string path = WriteTemp("axes.md2", BuildMd2(layout));
    Md2Vertex out[4];
    for (Md2Vertex &v : out) v = {{-1.0f, -1.0f, -1.0f}, {7.0f, 8.0f, 9.0f}, -1.0f, -1.0f};
    int32_t count = 0;
    ASSERT_EQ(GetMD2_MESH(path.c_str(), 1, out, &count), 1);
    EXPECT_EQ(count, 3);
    // Corner 0 is vertex 0, stored (1, 2, 3), frame 1: scale (1,2,3), translate (10,20,31).
    EXPECT_EQ(out[0].position.x, 1.0f * 1 + 10);
    EXPECT_EQ(out[0].position.y, 3.0f * 3 + 31);
    EXPECT_EQ(out[0].position.z, -(2.0f * 2 + 20));
    EXPECT_EQ(out[2].position.x, 3.0f + 10);  // vertex 2 stored (3, 4, 5)
    // (s, t) = (55, 25) on a 110 x 50 skin; (110, 50) gives (1, 0).
    EXPECT_EQ(out[0].u, 0.5f);
    EXPECT_EQ(out[0].v, 0.5f);
    EXPECT_EQ(out[2].u, 1.0f);
    EXPECT_EQ(out[2].v, 0.0f);
    EXPECT_EQ(out[1].v, 1.0f);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(out[i].normal.y, 8.0f) << "normal slots are the caller's";
    EXPECT_EQ(out[3].position.x, -1.0f) << "nothing past 3 x numTriangles";
}

TEST(Md2Export, VersionAloneDecidesAndFailuresSpeakOnce) {
    MessageCapture messages;
    Md2Vertex out[3];
    int32_t count = -1;

    Md2Layout wrongIdent;
    wrongIdent.ident = 0x12345678;
    const std::string readable = WriteTemp("ident.md2", BuildMd2(wrongIdent));
    EXPECT_EQ(GetMD2_MESH(readable.c_str(), 0, out, &count), 1);
    EXPECT_EQ(count, 3);
    EXPECT_TRUE(messages.messages().empty());

    Md2Layout version7;
    version7.version = 7;
    const std::string refused = WriteTemp("version7.md2", BuildMd2(version7));
    count = -1;
    EXPECT_EQ(GetMD2_MESH(refused.c_str(), 0, out, &count), 0);
    EXPECT_EQ(GetMD2_ANIMATIONS(refused.c_str(), nullptr, &count), 0);
    EXPECT_EQ(count, -1);
    ASSERT_EQ(messages.messages().size(), 2u);
    EXPECT_EQ(messages.messages()[0].caption, "Error");
    EXPECT_EQ(messages.messages()[0].text, "Invalid file format (Version not 8): " + refused + "!");

    const std::string missing = "/nonexistent/dir/none.md2";
    EXPECT_EQ(GetMD2_ANIMATIONS(missing.c_str(), nullptr, &count), 0);
    ASSERT_EQ(messages.messages().size(), 3u);
    EXPECT_EQ(messages.messages()[2].text, "Unable to find the file: " + missing + "!");
    EXPECT_EQ(count, -1);
}

TEST(Md2Export, CorruptFilesAndForeignFrameIndicesWriteNothing) {
    struct Case {
        const char *what;
        size_t at;  // header byte to overwrite with value (SIZE_MAX: none)
        int32_t value;
    } cases[] = {
        {"frameSize below the frame's data", 16, 40 + 4 * 3 - 1},
        {"frameSize negative", 16, -44},
        {"vertex count negative", 24, -1},
        {"triangles past the end", 32, 1000},
        {"frames past the end", 40, 3},
        {"frame count huge", 40, 0x7FFFFFFF},
        {"frame offset negative", 56, -8},
        {"texture-coordinate offset past the end", 48, 1 << 30},
        {"zero skin width", 8, 0},
    };
    Md2Layout layout;
    layout.frameNames = {"a1", "a2"};
    const std::vector<uint8_t> good = BuildMd2(layout);
    for (const Case &c : cases) {
        std::vector<uint8_t> bytes = good;
        Put32(bytes, c.at, c.value);
        const std::string path = WriteTemp("corrupt.md2", bytes);
        MessageCapture messages;
        Md2Vertex out[3] = {};
        int32_t count = -1;
        EXPECT_EQ(GetMD2_MESH(path.c_str(), 0, out, &count), 0) << c.what;
        EXPECT_EQ(count, -1) << c.what;
        EXPECT_EQ(out[0].position.x, 0.0f) << c.what;
        ASSERT_EQ(messages.messages().size(), 1u) << c.what;
        EXPECT_EQ(messages.messages()[0].caption, "Error");
        EXPECT_EQ(messages.messages()[0].text, "Invalid file format (corrupt data): " + path + "!") << c.what;
    }

    // A corner naming a vertex or texture coordinate the file does not have.
    for (int16_t bad : {int16_t{3}, int16_t{-1}}) {
        for (int slot : {1, 4}) {
            Md2Layout s = layout;
            s.triangles[0][static_cast<size_t>(slot)] = bad;
            Md2File file;
            EXPECT_EQ(file.Open(BuildMd2(s)), Md2Status::Corrupt) << "slot " << slot << " index " << bad;
        }
    }

    // A frame larger than its data is fine; a foreign frame index fails silently.
    Md2Layout padded = layout;
    padded.extraFrameBytes = 12;
    const std::string path = WriteTemp("padded.md2", BuildMd2(padded));
    MessageCapture messages;
    Md2Vertex out[3] = {};
    int32_t count = -1;
    for (int32_t index : {-1, 2, 1000}) {
        EXPECT_EQ(GetMD2_MESH(path.c_str(), index, out, &count), 0) << index;
        EXPECT_EQ(count, -1);
        EXPECT_EQ(out[0].position.x, 0.0f);
    }
    EXPECT_TRUE(messages.messages().empty());
    ASSERT_EQ(GetMD2_MESH(path.c_str(), 1, out, &count), 1);
    EXPECT_EQ(out[0].position.y, 3.0f * 3 + 31);
}

// ---------------------------------------------------------------------------
// Real files, checked against a minimal reader of the test's own.

struct RawMd2 {
    std::vector<uint8_t> bytes;
    int32_t h[17];
    explicit RawMd2(const std::string &path) : bytes(ReadAll(path)) { std::memcpy(h, bytes.data(), sizeof h); }
    template <class T>
    T At(size_t offset) const {
        T v;
        std::memcpy(&v, &bytes[offset], sizeof v);
        return v;
    }
    std::string FrameName(int f) const {
        const char *p = reinterpret_cast<const char *>(&bytes[static_cast<size_t>(h[14] + f * h[4] + 24)]);
        return std::string(p, strnlen(p, 16));
    }
};

TEST(Md2RealFiles, AnimationRangesMatchTheFrameNames) {
    // faerie: stand01..40, run1..6, ..., death101..106, death201..206, death301..308 (198 frames, 20 names);
    // sydney: stand1..40, run001..006, ..., crdeth1..5, death1..20 (198 frames, 16 names).
    struct Case {
        const char *file;
        int32_t animations;
        Md2AnimationRange first, last;
        const char *lastName;
    } cases[] = {
        {"assimp/MD2/faerie.md2", 20, {0, 40}, {190, 197}, "death301"},
        {"assimp/MD2/sydney.md2", 16, {0, 40}, {178, 197}, "death1"},
    };
    for (const Case &c : cases) {
        const std::string path = DataPath(c.file);
        const RawMd2 raw(path);
        ASSERT_EQ(raw.h[10], 198);
        EXPECT_EQ(raw.FrameName(c.last.startFrame), c.lastName);
        EXPECT_EQ(raw.FrameName(40).substr(0, 3), "run");
        std::vector<Md2AnimationRange> ranges(198);
        int32_t count = 0;
        ASSERT_EQ(GetMD2_ANIMATIONS(path.c_str(), ranges.data(), &count), 1) << c.file;
        ASSERT_EQ(count, c.animations) << c.file;
        EXPECT_EQ(AsPairs(&ranges[0], 1), (Pairs{{c.first.startFrame, c.first.endFrame}})) << c.file;
        EXPECT_EQ(AsPairs(&ranges[static_cast<size_t>(count - 1)], 1), (Pairs{{c.last.startFrame, c.last.endFrame}}))
            << c.file;
        for (int32_t i = 1; i < count; ++i)
            EXPECT_EQ(ranges[static_cast<size_t>(i)].startFrame, ranges[static_cast<size_t>(i - 1)].endFrame) << i;
    }
}

TEST(Md2RealFiles, MeshCornersMatchAnIndependentDecoding) {
    const std::string path = DataPath("assimp/MD2/sydney.md2");
    const RawMd2 raw(path);
    const int32_t numTriangles = raw.h[8];
    for (int32_t frame : {0, 97, 197}) {
        std::vector<Md2Vertex> out(static_cast<size_t>(3 * numTriangles));
        int32_t count = 0;
        ASSERT_EQ(GetMD2_MESH(path.c_str(), frame, out.data(), &count), 1);
        ASSERT_EQ(count, 3 * numTriangles);
        const size_t frameAt = static_cast<size_t>(raw.h[14] + frame * raw.h[4]);
        for (int32_t tri : {0, numTriangles / 2, numTriangles - 1}) {
            const size_t triAt = static_cast<size_t>(raw.h[13] + 12 * tri);
            for (int k = 0; k < 3; ++k) {
                const auto vi = raw.At<int16_t>(triAt + 2 * static_cast<size_t>(k));
                const auto si = raw.At<int16_t>(triAt + 6 + 2 * static_cast<size_t>(k));
                const size_t vAt = frameAt + 40 + 4 * static_cast<size_t>(vi);
                float sc[3], tr[3];
                for (size_t a = 0; a < 3; ++a) {
                    sc[a] = raw.At<float>(frameAt + 4 * a);
                    tr[a] = raw.At<float>(frameAt + 12 + 4 * a);
                }
                const Md2Vertex &v = out[static_cast<size_t>(3 * tri + k)];
                EXPECT_EQ(v.position.x, raw.bytes[vAt] * sc[0] + tr[0]);
                EXPECT_EQ(v.position.y, raw.bytes[vAt + 2] * sc[2] + tr[2]);
                EXPECT_EQ(v.position.z, -(raw.bytes[vAt + 1] * sc[1] + tr[1]));
                const size_t stAt = static_cast<size_t>(raw.h[12] + 4 * si);
                EXPECT_EQ(v.u, static_cast<float>(raw.At<int16_t>(stAt)) / static_cast<float>(raw.h[2]));
                EXPECT_EQ(v.v, 1.0f - static_cast<float>(raw.At<int16_t>(stAt + 2)) / static_cast<float>(raw.h[3]));
            }
        }
    }
}

// Decodes everything an opened file offers; ASan catches any read outside.
Md2Status OpenAndReadAll(std::vector<uint8_t> bytes) {
    Md2File file;
    const Md2Status status = file.Open(bytes);
    if (status != Md2Status::Ok) return status;
    StaticObject shared, frame;
    vesk::reference::ReadMd2Shared(file, shared);
    std::vector<std::string_view> names;
    for (int32_t f = 0; f < file.FrameCount(); ++f) {
        vesk::reference::ReadMd2Frame(file, f, frame);
        names.push_back(file.FrameName(f));
    }
    Md2AnimationRanges(names);
    std::vector<Md2Vertex> out(3 * shared.faces.size());
    if (file.FrameCount() > 0) vesk::reference::WriteMd2Mesh(shared, frame, out);
    return status;
}

TEST(Md2RealFiles, TruncationAndByteFlipsNeverReadOutside) {
    const std::vector<uint8_t> whole = ReadAll(DataPath("assimp/MD2/faerie.md2"));
    ASSERT_EQ(whole.size(), 320996u);
    // The frames end where the (unread) GL commands begin, at 307656.
    const size_t framesEnd = 307656;
    std::vector<size_t> lengths;
    for (size_t n = 0; n < 200; ++n) lengths.push_back(n);
    for (size_t n = 200; n < whole.size(); n += 1009) lengths.push_back(n);
    for (size_t n : {framesEnd - 1, framesEnd, framesEnd + 1, whole.size() - 1}) lengths.push_back(n);
    for (size_t n : lengths) {
        const Md2Status expected = n < framesEnd ? Md2Status::Corrupt : Md2Status::Ok;
        EXPECT_EQ(OpenAndReadAll(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(n))),
                  expected)
            << "length " << n;
    }
    // Flipped bytes over the header, the lumps and a sample of frames.
    std::vector<size_t> spots;
    for (size_t i = 0; i < 68; ++i) spots.push_back(i);
    for (size_t i = 68; i < whole.size(); i += 997) spots.push_back(i);
    for (size_t at : spots) {
        std::vector<uint8_t> bytes = whole;
        bytes[at] ^= 0xFF;
        const Md2Status status = OpenAndReadAll(bytes);
        // The ident is never looked at; texture coordinates and frame contents
        // are taken as they come (triangle indices may or may not stay in range).
        if (at >= 4 && at < 8) {
            EXPECT_EQ(status, Md2Status::BadVersion) << at;
        } else if (at < 4 || (at >= 68 && at < 2016) || at >= 9864) {
            EXPECT_EQ(status, Md2Status::Ok) << at;
        }
    }
}

TEST(Md2RealFiles, TheStartOfAFileOpensAsTheWholeFileDoes) {
    const std::vector<uint8_t> whole = ReadAll(DataPath("assimp/MD2/faerie.md2"));
    Md2File full;
    ASSERT_EQ(full.Open(whole), Md2Status::Ok);
    const Md2Header &h = full.header();
    const size_t shared = static_cast<size_t>(h.offsetTriangles + 12 * h.numTriangles);
    const size_t corners = 3 * static_cast<size_t>(h.numTriangles);
    const size_t framesEnd = static_cast<size_t>(h.offsetFrames + h.numFrames * h.frameSize);
    std::vector<Md2Vertex> want(corners), got(corners);
    for (size_t n = 0; n <= whole.size(); n += n < shared + 4096 ? 509 : 20011) {
        // A heap copy of exactly n bytes, so that ASan sees a read past the prefix.
        const std::vector<uint8_t> prefix(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(n));
        Md2File part;
        const Md2Status status = part.Open(prefix, whole.size());
        ASSERT_EQ(status, n < shared ? Md2Status::NeedMore : Md2Status::Ok) << n;
        // Judged against the whole file: a short file stays corrupt however it is read.
        if (n >= 68) {
            EXPECT_EQ(part.Open(prefix, n), n >= framesEnd ? Md2Status::Ok : Md2Status::Corrupt) << n;
        }
        if (status != Md2Status::Ok) continue;
        part.Open(prefix, whole.size());
        EXPECT_EQ(part.HoldsAllFrames(), n >= framesEnd) << n;
        for (int32_t f : {0, 1, h.numFrames / 2, h.numFrames - 1}) {
            const bool held = n >= static_cast<size_t>(h.offsetFrames + (f + 1) * h.frameSize);
            ASSERT_EQ(part.HoldsFrame(f), held) << n << " frame " << f;
            if (!held) continue;
            full.WriteFrameMesh(f, want);
            part.WriteFrameMesh(f, got);
            ASSERT_EQ(std::memcmp(want.data(), got.data(), corners * sizeof(Md2Vertex)), 0) << n << " frame " << f;
        }
    }
}

TEST(Md2Export, AFileChangedAfterAPartialReadIsReadAgain) {
    // A first call reads the start of the file; later calls must still see
    // every change, near the start or far beyond it.
    std::vector<uint8_t> bytes = ReadAll(DataPath("assimp/MD2/sydney.md2"));
    Md2File file;
    ASSERT_EQ(file.Open(bytes), Md2Status::Ok);
    const Md2Header h = file.header();
    const std::string path = WriteTemp("changing.md2", bytes);
    const auto age = [&](int seconds) {
        std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1) -
                                                   std::chrono::seconds(seconds));
    };
    age(0);
    std::vector<Md2Vertex> out(3 * static_cast<size_t>(h.numTriangles));
    int32_t count = 0;
    const int32_t last = h.numFrames - 1;
    const size_t lastTranslateX = static_cast<size_t>(h.offsetFrames + last * h.frameSize + 12);
    const size_t firstTranslateX = static_cast<size_t>(h.offsetFrames + 12);
    std::vector<Md2Vertex> want(out.size());
    const auto expectFrame = [&](int32_t frame, int round) {
        Md2File reference;
        ASSERT_EQ(reference.Open(bytes), Md2Status::Ok);
        reference.WriteFrameMesh(frame, want);
        ASSERT_EQ(GetMD2_MESH(path.c_str(), frame, out.data(), &count), 1);
        EXPECT_EQ(std::memcmp(out.data(), want.data(), out.size() * sizeof(Md2Vertex)), 0)
            << "frame " << frame << " round " << round;
    };
    for (int round = 1; round <= 2; ++round) {
        expectFrame(0, round);
        expectFrame(last, round);
        // Move frame 0 and the last frame in x: same size, another time.
        for (size_t at : {firstTranslateX, lastTranslateX}) {
            float tx;
            std::memcpy(&tx, &bytes[at], 4);
            tx += 1.0f;
            std::memcpy(&bytes[at], &tx, 4);
        }
        WriteTemp("changing.md2", bytes);
        age(round * 10);
        expectFrame(last, round);
        expectFrame(0, round);
    }
}

// ---------------------------------------------------------------------------
// Frame clock and interpolation.

TEST(Md2FrameClock, AdvancesOnAWholePeriodWithTheFactorTakenBefore) {
    FakeClock clock(1050);
    float elapsed = -1.0f, lastTime = 1000.0f;
    int32_t current = 3;
    const int32_t next = 4;
    EXPECT_EQ(GetMD2_FRAMPAST(&elapsed, &lastTime, &current, &next, 10.0f), 0.5f);
    EXPECT_EQ(elapsed, 50.0f);
    EXPECT_EQ(current, 3);
    EXPECT_EQ(lastTime, 1000.0f);

    clock.Set(1120);
    EXPECT_FLOAT_EQ(GetMD2_FRAMPAST(&elapsed, &lastTime, &current, &next, 10.0f), 1.2f);
    EXPECT_EQ(elapsed, 120.0f);
    EXPECT_EQ(current, 4);
    EXPECT_EQ(lastTime, 1120.0f);

    // Exactly one period advances too.
    clock.Set(1220);
    EXPECT_EQ(GetMD2_FRAMPAST(&elapsed, &lastTime, &current, &next, 10.0f), 1.0f);
    EXPECT_EQ(lastTime, 1220.0f);
}

TEST(Md2FrameClock, ZeroRateNeverAdvancesAndAWrappedTickStillCounts) {
    FakeClock clock(5000);
    float elapsed = 0.0f, lastTime = 0.0f;
    int32_t current = 1;
    const int32_t next = 2;
    EXPECT_EQ(GetMD2_FRAMPAST(&elapsed, &lastTime, &current, &next, 0.0f), 0.0f);
    EXPECT_EQ(elapsed, 5000.0f);
    EXPECT_EQ(current, 1);
    EXPECT_EQ(lastTime, 0.0f);

    // Last frame 256 ms before the 32-bit tick wrapped, now 64 ms after it.
    lastTime = 4294967040.0f;
    clock.Set(64);
    EXPECT_EQ(GetMD2_FRAMPAST(&elapsed, &lastTime, &current, &next, 10.0f), 3.2f);
    EXPECT_EQ(elapsed, 320.0f);
    EXPECT_EQ(current, 2);
    EXPECT_EQ(lastTime, 64.0f);
}

TEST(Md2Interpolation, BlendsPositionsCopiesTheRestAndBoundsTheResult) {
    const Md2Vertex from[2] = {{{0, 0, 0}, {1, 1, 1}, 0.1f, 0.2f}, {{-4, 8, 2}, {1, 1, 1}, 0.3f, 0.4f}};
    const Md2Vertex to[2] = {{{2, 4, -6}, {5, 6, 7}, 0.5f, 0.6f}, {{4, 0, 2}, {8, 9, 10}, 0.7f, 0.8f}};
    Md2Vertex out[3];
    std::memset(out, 0, sizeof out);
    BoundingBox box{};

    EXPECT_EQ(GetMD2_InterpolatedFrame(0.0f, from, to, out, 2, &box), 1);
    EXPECT_EQ(out[1].position.x, -4.0f);
    EXPECT_EQ(out[1].normal.z, 10.0f);
    EXPECT_EQ(out[1].u, 0.7f);

    EXPECT_EQ(GetMD2_InterpolatedFrame(0.5f, from, to, out, 2, &box), 1);
    EXPECT_EQ(out[0].position.y, 2.0f);
    EXPECT_EQ(out[0].position.z, -3.0f);
    EXPECT_EQ(out[1].position.y, 4.0f);
    EXPECT_EQ(out[0].v, 0.6f);
    EXPECT_EQ(out[2].position.x, 0.0f) << "only count records";
    EXPECT_EQ(box.minX, 0.0f);
    EXPECT_EQ(box.maxX, 1.0f);
    EXPECT_EQ(box.minY, 2.0f);
    EXPECT_EQ(box.maxY, 4.0f);
    EXPECT_EQ(box.minZ, -3.0f);
    EXPECT_EQ(box.maxZ, 2.0f);

    // Blending in place over from.
    Md2Vertex inPlace[2] = {from[0], from[1]};
    GetMD2_InterpolatedFrame(1.0f, inPlace, to, inPlace, 2, &box);
    EXPECT_EQ(inPlace[0].position.z, -6.0f);
    EXPECT_EQ(inPlace[1].position.x, 4.0f);

    for (int32_t count : {0, -5}) {
        out[0].position.x = 42.0f;
        EXPECT_EQ(GetMD2_InterpolatedFrame(0.5f, from, to, out, count, &box), 1);
        EXPECT_EQ(out[0].position.x, 42.0f);
        EXPECT_EQ(box.minX, 9999999.0f);
        EXPECT_EQ(box.maxZ, -9999999.0f);
    }
}

}  // namespace
}  // namespace vesk
