// MD2 from arbitrary bytes: what the animation and mesh exports do with a
// file that opened, into host arrays of exactly the size query's size.
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "loaders/md2.h"
#include "support/md2_reference.h"
#include "loaders/size_queries.h"

namespace {

// The start of the file, as a first call reads it: whatever it holds is
// written exactly as from the whole file.
void CheckPrefix(const uint8_t *data, size_t size) {
    const size_t cut = size / 2;
    std::vector<uint8_t> start(data, data + cut);  // its own allocation: ASan sees reads past it
    vesk::Md2File part, whole;
    const vesk::Md2Status status = part.Open(start, size);
    const vesk::Md2Status wholeStatus = whole.Open(vesk::fuzz::Bytes(data, size));
    if (status != vesk::Md2Status::NeedMore) VESK_FUZZ_CHECK(status == wholeStatus);
    if (status != vesk::Md2Status::Ok) return;
    const size_t corners = 3 * static_cast<size_t>(part.header().numTriangles);
    std::vector<Md2Vertex> a(corners), b(corners);
    for (int32_t f = 0; f < part.FrameCount() && part.HoldsFrame(f); ++f) {
        part.WriteFrameMesh(f, a);
        whole.WriteFrameMesh(f, b);
        VESK_FUZZ_CHECK(corners == 0 || std::memcmp(a.data(), b.data(), corners * sizeof(Md2Vertex)) == 0);
        // A frame the exports accept writes only finite floats.
        VESK_FUZZ_CHECK(part.FrameFinite(f) == whole.FrameFinite(f));
        VESK_FUZZ_CHECK(!part.FrameFinite(f) || vesk::fuzz::FiniteFloats(a.data(), 8 * corners));
    }
}

}  // namespace

// The exports over the served input: the kept file and the check agree with
// the parse above, twice in a row (the second call reuses what was kept).
void CheckExports(const uint8_t *data, size_t size, const vesk::Md2File *parsed) {
    const vesk::fuzz::ServedInput served(data, size);
    // The size query also refuses a file with any frame that is not finite.
    bool finite = parsed != nullptr;
    for (int32_t f = 0; finite && f < parsed->FrameCount(); ++f) finite = parsed->FrameFinite(f);
    for (int round = 0; round < 2; ++round) {
        int32_t counts[vesk::kMd2CountSlots] = {};
        const bool opened = VeskGetMD2_Counts("models/fuzz.md2", counts) != 0;
        VESK_FUZZ_CHECK(opened == finite);
        if (!opened || counts[vesk::kMd2CountFrames] == 0) continue;
        std::vector<Md2Vertex> a(static_cast<size_t>(counts[vesk::kMd2CountCorners])), b(a.size());
        int32_t n = -1;
        VESK_FUZZ_CHECK(GetMD2_MESH("models/fuzz.md2", 0, a.data(), &n) && n == counts[vesk::kMd2CountCorners]);
        parsed->WriteFrameMesh(0, b);
        VESK_FUZZ_CHECK(a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Md2Vertex)) == 0);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    CheckPrefix(data, size);
    {
        vesk::Md2File parsed;
        CheckExports(data, size, parsed.Open(vesk::fuzz::Bytes(data, size)) == vesk::Md2Status::Ok ? &parsed : nullptr);
    }
    vesk::Md2File file;
    if (file.Open(vesk::fuzz::Bytes(data, size)) != vesk::Md2Status::Ok) return 0;
    const vesk::Md2Header &h = file.header();
    const int32_t frames = file.FrameCount();
    VESK_FUZZ_CHECK(frames >= 0);

    for (int32_t i = 0; i < frames; ++i) VESK_FUZZ_CHECK(file.FrameName(i).size() <= 16);

    // The host sizes every array from the size query.
    int32_t counts[vesk::kMd2CountSlots];
    vesk::Md2Counts(file, counts);
    VESK_FUZZ_CHECK(counts[vesk::kMd2CountFrames] == frames);
    const std::vector<Md2AnimationRange> found = vesk::Md2FileAnimations(file);
    VESK_FUZZ_CHECK(found.size() == static_cast<size_t>(counts[vesk::kMd2CountAnimations]) &&
                    found.size() <= static_cast<size_t>(frames));
    if (frames == 0) return 0;

    vesk::StaticObject shared;
    vesk::reference::ReadMd2Shared(file, shared);
    VESK_FUZZ_CHECK(shared.faces.size() == static_cast<size_t>(h.numTriangles));
    const size_t corners = static_cast<size_t>(counts[vesk::kMd2CountCorners]);
    std::vector<Md2Vertex> first(corners), last(corners), blended(corners);

    // Frame 0 lands on the shared object, as in the mesh export.
    vesk::reference::ReadMd2Frame(file, 0, shared);
    VESK_FUZZ_CHECK(shared.vertices.size() == static_cast<size_t>(h.numVertices));
    vesk::reference::WriteMd2Mesh(shared, shared, first);
    vesk::StaticObject other;
    vesk::reference::ReadMd2Frame(file, frames - 1, other);
    vesk::reference::WriteMd2Mesh(shared, other, last);
    VESK_FUZZ_CHECK(!file.FrameFinite(0) || vesk::fuzz::FiniteFloats(first.data(), 8 * corners));
    VESK_FUZZ_CHECK(!file.FrameFinite(frames - 1) || vesk::fuzz::FiniteFloats(last.data(), 8 * corners));

    BoundingBox box{};
    vesk::InterpolateMd2Frame(0.5f, first, last, blended, box);
    return 0;
}
