// codec/core/avx512/vectors.h -- the AVX-512 level's vectors: the 128-entry decode table one
// two-table permute reads, packing, mask helpers and text loads. Included only by files
// compiled with the level's flags; everything here has internal linkage.
#pragma once
#include "codec/core/kernels.h"
#include "codec/core/text_loads.h"

#include <immintrin.h>
#include <stddef.h>

// Whether the text at *in (between groups) goes on as lines of a shape the line loop takes,
// and if so decodes them (lines.cpp).
template <bool untilNul>
int DecodeIfLinesAvx512(const char **in, const char *limit, uint8_t **out, const uint8_t *outEnd,
                        __m512i tableLow, __m512i tableHigh, __m512i lanes);

namespace {

const __mmask64 LOW_48 = 0x0000FFFFFFFFFFFFull;
const __mmask64 ALL_64 = ~0ull;

// The zero-masking forms with every lane kept: gcc's unmasked forms start from an
// "undefined" register its own warnings then call uninitialized.
inline __m512i Permute(__m512i index, __m512i table)
{
    return _mm512_maskz_permutexvar_epi8(ALL_64, index, table);
}

// Character (low 7 bits) to 6-bit value; 0x80 marks whitespace, 0xFF every other byte.
struct DecodeTable {
    uint8_t value[128];
};

constexpr DecodeTable MakeDecodeTable(int hyphenIsData)
{
    DecodeTable table{};
    for (int c = 0; c < 128; ++c) table.value[c] = 0xFF;
    for (int i = 0; i < 64; ++i) table.value[(int)BASE64_ALPHABET[i]] = (uint8_t)i;
    if (hyphenIsData) table.value[(int)'-'] = 62;
    table.value[(int)'_'] = 63;
    const char *spaces = "\t\n\f\r ";
    for (int i = 0; i < 5; ++i) table.value[(int)spaces[i]] = 0x80;
    return table;
}

alignas(64) constexpr DecodeTable DECODE_TABLE = MakeDecodeTable(1);
// For armoured text, whose caller must see every '-': the decoder stops there as at any
// byte outside the alphabet, at no cost to its loops.
alignas(64) constexpr DecodeTable DECODE_TABLE_NO_HYPHEN = MakeDecodeTable(0);
const uint8_t LANE_NUMBERS[64] = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
    22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43,
    44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63};

// Four 6-bit values per 32-bit lane into three bytes, the 48 bytes first in the vector.
inline __m512i Pack(__m512i values)
{
    const __m512i gather = _mm512_set_epi8(
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        60, 61, 62, 56, 57, 58, 52, 53, 54, 48, 49, 50, 44, 45, 46, 40,
        41, 42, 36, 37, 38, 32, 33, 34, 28, 29, 30, 24, 25, 26, 20, 21,
        22, 16, 17, 18, 12, 13, 14, 8, 9, 10, 4, 5, 6, 0, 1, 2);
    __m512i pairs = _mm512_maddubs_epi16(values, _mm512_set1_epi32(0x01400140));
    __m512i groups = _mm512_madd_epi16(pairs, _mm512_set1_epi32(0x00011000));
    return Permute(gather, groups);
}

inline uint32_t CountBits(__mmask64 mask)
{
#if defined(__x86_64__)
    return (uint32_t)__builtin_popcountll(_cvtmask64_u64(mask));
#else
    // 32-bit code has no 64-bit general registers; count the halves, each moved out of
    // the mask register alone (a cast of the whole mask would go through the stack).
    return (uint32_t)__builtin_popcount(_cvtmask32_u32((__mmask32)_kshiftri_mask64(_kshiftli_mask64(mask, 32), 32))) +
           (uint32_t)__builtin_popcount(_cvtmask32_u32((__mmask32)_kshiftri_mask64(mask, 32)));
#endif
}


// A 64-byte load the address sanitizer does not see: the decode of a NUL-terminated text
// reads the bytes after its NUL that share a page with the text, which is harmless but
// outside the text's allocation. Only that decode uses it.
inline __m512i LoadUnchecked(const char *p)
{
    __m512i v;
    __asm__("vmovdqu64 %1, %0" : "=v"(v) : "m"(*(const char(*)[64])p));
    return v;
}

// The lowest set lane of a mask that has one.
inline uint32_t FirstLane(__mmask64 mask)
{
#if defined(__x86_64__)
    return (uint32_t)__builtin_ctzll(_cvtmask64_u64(mask));
#else
    uint32_t low = _cvtmask32_u32((__mmask32)_kshiftri_mask64(_kshiftli_mask64(mask, 32), 32));
    if (low) return (uint32_t)__builtin_ctz(low);
    return 32 + (uint32_t)__builtin_ctz(_cvtmask32_u32((__mmask32)_kshiftri_mask64(mask, 32)));
#endif
}


template <bool untilNul>
inline __m512i LoadText(const char *p)
{
    return untilNul ? LoadUnchecked(p) : _mm512_loadu_si512((const void *)p);
}


}  // namespace
