// Where a text's lines and blanks are, 64 bytes to a mask: the first step of
// the quick line walk, in the widest vector lanes the processor has.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vesk {

// Masks a text of n bytes needs: one per 64 bytes.
inline size_t LineMaskCount(size_t n) { return (n + 63) / 64; }

// Bit i of lf[k] / blank[k] tells whether byte 64k + i is a line feed / one
// of the other blanks (space, tab, VT, FF, CR); bits past the text are clear.
void FindLineMasks(std::string_view text, uint64_t *lf, uint64_t *blank);

// Calls onLine(word, lineEnd) for every line in order but a last one of
// blanks only: word is its first byte that is not a blank (its LF on a line
// of blanks), lineEnd its LF or the end of the text. The masks of the whole
// text are written to lfMasks and blankMasks (LineMaskCount entries each), a
// few kilobytes ahead of the lines, so that those are read while their bytes are
// still in the nearest cache. A line costs no search loop (whose exit
// mispredicts as lengths vary) and no byte loop over its indent.
template <class OnLine>
void ForEachLineWord(std::string_view text, uint64_t *lfMasks, uint64_t *blankMasks, OnLine &&onLine) {
    constexpr size_t kChunk = 4096;
    const char *const begin = text.data();
    const size_t size = text.size();
    uint64_t lineStartIn = 1, carry = 0;
    const char *pending = nullptr;  // a word whose LF lies in a later block
    for (size_t at = 0, k = 0; at < size; at += 64, ++k) {
        if (at % kChunk == 0) FindLineMasks(text.substr(at, kChunk), lfMasks + k, blankMasks + k);
        const char *const block = begin + at;
        uint64_t lf = lfMasks[k];
        const uint64_t blank = blankMasks[k];
        const uint64_t valid = size - at >= 64 ? ~uint64_t{0} : (uint64_t{1} << (size - at)) - 1;
        // A line start carried through its run of blanks lands on the word.
        const uint64_t starts = (lf << 1) | lineStartIn;
        lineStartIn = lf >> 63;
        const uint64_t partial = blank + starts, sum = partial + carry;
        carry = (partial < blank) | (sum < partial);
        uint64_t words = sum & ~blank & valid;
        // Words and LFs pair up in order; the first LF may end a line whose
        // word came in an earlier block, and the last word may wait for a later one.
        while (lf) {
            const char *word = pending;
            if (word) {
                pending = nullptr;
            } else {
                word = block + std::countr_zero(words);
                words &= words - 1;
            }
            onLine(word, block + std::countr_zero(lf));
            lf &= lf - 1;
        }
        if (words) pending = block + std::countr_zero(words);
    }
    if (pending) onLine(pending, begin + size);
}

// The widest lanes FindLineMasks may use (all agree; tests compare them).
// Text readers may choose code built for the same lanes.
enum class LineMaskLanes { Sse2, Avx2, Avx512 };
void LimitLineMaskLanes(LineMaskLanes widest);
LineMaskLanes LineMaskLanesInUse();

// Where lanes wider than SSE2 may be chosen at all: not on Windows (as the
// lightmaps' wide paths), and 64-bit masks want x86-64.
#if defined(__GNUC__) && !defined(_WIN32) && defined(__x86_64__)
#define VESK_TEXT_WIDE_LANES 1
#endif

}  // namespace vesk
