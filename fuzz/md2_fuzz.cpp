// MD2 from arbitrary bytes: what the animation and mesh exports do with a
// file that opened, into host arrays of exactly the documented size.
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "loaders/md2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    vesk::Md2File file;
    if (file.Open(vesk::fuzz::Bytes(data, size)) != vesk::Md2Status::Ok) return 0;
    const vesk::Md2Header &h = file.header();
    const int32_t frames = file.FrameCount();
    VESK_FUZZ_CHECK(frames >= 0);

    std::vector<std::string_view> names(static_cast<size_t>(frames));
    for (size_t i = 0; i < names.size(); ++i) {
        names[i] = file.FrameName(static_cast<int32_t>(i));
        VESK_FUZZ_CHECK(names[i].size() <= 16);
    }
    // The host gives room for numFrames ranges.
    VESK_FUZZ_CHECK(vesk::Md2AnimationRanges(names).size() <= names.size());
    if (frames == 0) return 0;

    vesk::StaticObject shared;
    file.ReadShared(shared);
    VESK_FUZZ_CHECK(shared.faces.size() == static_cast<size_t>(h.numTriangles));
    const size_t corners = 3 * shared.faces.size();
    std::vector<Md2Vertex> first(corners), last(corners), blended(corners);

    // Frame 0 lands on the shared object, as in the mesh export.
    file.ReadFrame(0, shared);
    VESK_FUZZ_CHECK(shared.vertices.size() == static_cast<size_t>(h.numVertices));
    vesk::WriteMd2Mesh(shared, shared, first);
    vesk::StaticObject other;
    file.ReadFrame(frames - 1, other);
    vesk::WriteMd2Mesh(shared, other, last);

    BoundingBox box{};
    vesk::InterpolateMd2Frame(0.5f, first, last, blended, box);
    return 0;
}
