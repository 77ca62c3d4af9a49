// Compile-time tie between the export table and the code: every built row's
// function must exist with exactly the table's number of argument words.
#include <VeskMathLIB.h>

#include <cstdint>
#include <type_traits>

// The packed paths need SSE2, which every target has (x86-64; the x86 builds
// use -msse2 -mfpmath=sse): there is no scalar fallback to build.
#if !defined(__SSE2__) && !defined(_M_X64) && !(defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#error "VeskMathLIB needs SSE2"
#endif

namespace vesk {
namespace {

template <class R, class... A>
constexpr int ArgumentWords(R(VESK_CALL *)(A...)) {
    // Every argument is one word: a pointer, a 32-bit integer or a float.
    static_assert(((sizeof(A) <= sizeof(void *) && (std::is_pointer_v<A> || std::is_same_v<A, float> ||
                                                   std::is_same_v<A, int32_t> || std::is_same_v<A, uint32_t>)) &&
                   ...),
                  "export argument that is not one word");
    return static_cast<int>(sizeof...(A));
}

#define VESK_EXPORT_ROW(ord, name, args, entry)                                                   \
    static_assert(ArgumentWords(&::name) == (args), "argument count of " #name " differs from the table"); \
    static_assert(ArgumentWords(&::entry) == (args), "entry point of " #name " differs from the table");
#include "exports_built.inc"
#undef VESK_EXPORT_ROW

}  // namespace
}  // namespace vesk

// Records shared with the host: sizes and documented offsets.
#include <cstddef>
static_assert(sizeof(Vector3) == 12);
static_assert(sizeof(Matrix4) == 64);
static_assert(sizeof(BoundingBox) == 24 && offsetof(BoundingBox, maxX) == 12);
static_assert(sizeof(PolyVertex) == 40 && offsetof(PolyVertex, normal) == 12 && offsetof(PolyVertex, u) == 24 &&
              offsetof(PolyVertex, u2) == 32);
static_assert(sizeof(Poly) == 128 && offsetof(Poly, corner) == 0 && offsetof(Poly, word) == 120 &&
              offsetof(Poly, tag) == 124);
static_assert(std::is_standard_layout_v<Poly> && std::is_standard_layout_v<PolyVertex>);
static_assert(sizeof(VeskBool) == 1);
