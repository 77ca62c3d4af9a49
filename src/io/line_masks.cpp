#include "io/line_masks.h"

#include <cstring>

#include <immintrin.h>

namespace vesk {
namespace {

// Which of 16 bytes are blanks of the SkipSpace set, as 0xFF bytes.
inline __m128i TextSpaceBytes(__m128i bytes) {
    const __m128i fromTab = _mm_sub_epi8(bytes, _mm_set1_epi8('\t'));
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(fromTab, _mm_set1_epi8(4)), fromTab);
    return _mm_or_si128(control, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')));
}

void Masks64Sse2(const char *p, uint64_t &lf, uint64_t &blank) {
    lf = blank = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * i));
        const __m128i isLf = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'));
        lf |= uint64_t{static_cast<uint32_t>(_mm_movemask_epi8(isLf))} << (16 * i);
        blank |= uint64_t{static_cast<uint32_t>(_mm_movemask_epi8(_mm_andnot_si128(isLf, TextSpaceBytes(bytes))))}
                 << (16 * i);
    }
}

// The last bytes of a text that does not fill 64 go through a copy with
// zeros after them (neither LF nor blank): the text is not padded.
template <void (*Masks64)(const char *, uint64_t &, uint64_t &)>
void FindMasks(std::string_view text, uint64_t *lf, uint64_t *blank) {
    const size_t whole = text.size() / 64;
    for (size_t k = 0; k < whole; ++k) Masks64(text.data() + 64 * k, lf[k], blank[k]);
    if (const size_t rest = text.size() % 64) {
        char tail[64] = {};
        std::memcpy(tail, text.data() + 64 * whole, rest);
        Masks64(tail, lf[whole], blank[whole]);
    }
}

#ifdef VESK_TEXT_WIDE_LANES

// Called for each 64 bytes (a plain loop cannot inline it).
__attribute__((target("avx2"))) void Masks64Avx2(const char *p, uint64_t &lf, uint64_t &blank) {
    lf = blank = 0;
    for (int i = 0; i < 2; ++i) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 32 * i));
        const __m256i isLf = _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('\n'));
        const __m256i fromTab = _mm256_sub_epi8(bytes, _mm256_set1_epi8('\t'));
        const __m256i control = _mm256_cmpeq_epi8(_mm256_min_epu8(fromTab, _mm256_set1_epi8(4)), fromTab);
        const __m256i space = _mm256_or_si256(control, _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(' ')));
        lf |= uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(isLf))} << (32 * i);
        blank |= uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_andnot_si256(isLf, space)))} << (32 * i);
    }
}

// A masked load reads only the text's own bytes, so the tail needs no copy.
__attribute__((target("avx512bw"))) void FindMasksAvx512(std::string_view text, uint64_t *lf, uint64_t *blank) {
    const __m512i newline = _mm512_set1_epi8('\n'), tab = _mm512_set1_epi8('\t');
    const __m512i four = _mm512_set1_epi8(4), space = _mm512_set1_epi8(' ');
    for (size_t at = 0, k = 0; at < text.size(); at += 64, ++k) {
        const size_t rest = text.size() - at;
        const __mmask64 valid = rest >= 64 ? ~__mmask64{0} : (__mmask64{1} << rest) - 1;
        const __m512i bytes = _mm512_maskz_loadu_epi8(valid, text.data() + at);
        const __mmask64 isLf = _mm512_mask_cmpeq_epi8_mask(valid, bytes, newline);
        const __mmask64 control = _mm512_cmple_epu8_mask(_mm512_sub_epi8(bytes, tab), four);
        const __mmask64 isSpace = _mm512_mask_cmpeq_epi8_mask(valid, bytes, space);
        lf[k] = _cvtmask64_u64(isLf);
        blank[k] = _cvtmask64_u64(_kandn_mask64(isLf, _kor_mask64(control, isSpace)));
    }
}
#endif

using FindFn = void (*)(std::string_view, uint64_t *, uint64_t *);

struct Lanes {
    FindFn find;
    LineMaskLanes lanes;
};

Lanes Choose(LineMaskLanes widest) {
#ifdef VESK_TEXT_WIDE_LANES
    __builtin_cpu_init();  // this may run among the static constructors
    // The readers built for these lanes also use the bit instructions.
    const bool bits = __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
                      __builtin_cpu_supports("popcnt");
    if (widest >= LineMaskLanes::Avx512 && bits && __builtin_cpu_supports("avx512bw"))
        return {&FindMasksAvx512, LineMaskLanes::Avx512};
    if (widest >= LineMaskLanes::Avx2 && bits && __builtin_cpu_supports("avx2"))
        return {&FindMasks<&Masks64Avx2>, LineMaskLanes::Avx2};
#endif
    (void)widest;
    return {&FindMasks<&Masks64Sse2>, LineMaskLanes::Sse2};
}

Lanes g_lanes = Choose(LineMaskLanes::Avx512);

}  // namespace

void FindLineMasks(std::string_view text, uint64_t *lf, uint64_t *blank) { g_lanes.find(text, lf, blank); }

void LimitLineMaskLanes(LineMaskLanes widest) { g_lanes = Choose(widest); }

LineMaskLanes LineMaskLanesInUse() { return g_lanes.lanes; }

}  // namespace vesk
