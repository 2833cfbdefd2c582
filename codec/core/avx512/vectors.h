// codec/core/avx512/vectors.h -- the AVX-512 level's vectors: the 128-entry decode table one
// two-table permute reads, packing, mask helpers and text loads. Included only by files
// compiled with the level's flags; everything here has internal linkage.
#pragma once
#include "codec/core/kernels.h"
#include "codec/core/scan_loop.h"
#include "codec/core/text_loads.h"

#include <immintrin.h>
#include <stddef.h>

// Where the line loop (lines.cpp) left the text and the output, and whether it found lines.
struct LinesEnd {
    const char *in;
    uint8_t *out;
    int found;
};

// Whether the text at `in` (between groups) goes on as lines of a shape the line loop takes,
// and if so decodes them (lines.cpp). Returned rather than stored through pointers, so the
// caller's loop keeps `in` and `out` in registers.
template <bool untilNul>
LinesEnd DecodeIfLinesAvx512(const char *in, uint8_t *out, const char *limit, const uint8_t *outEnd,
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

// Four 6-bit values per 32-bit lane into the lane's low three bytes, the first byte
// highest.
inline __m512i MergeGroups(__m512i values)
{
    __m512i pairs = _mm512_maddubs_epi16(values, _mm512_set1_epi32(0x01400140));
    return _mm512_madd_epi16(pairs, _mm512_set1_epi32(0x00011000));
}

#if defined(__x86_64__)
// Indexes that gather bytes 64 * K to 64 * K + 63 of what four vectors of merged groups
// decode to, PIECE bytes each, from the two of those vectors they lie in (bytes past the
// four pieces take anything).
template <uint32_t PIECE>
struct ThreeFromFour {
    uint8_t index[3][64];
};

template <uint32_t PIECE>
constexpr ThreeFromFour<PIECE> MakeThreeFromFour(void)
{
    ThreeFromFour<PIECE> t{};
    for (uint32_t k = 0; k < 3; ++k)
        for (uint32_t i = 0; i < 64; ++i) {
            uint32_t at = 64 * k + i, piece = at / PIECE, byte = at % PIECE;
            if (piece > 3) piece = 3;
            t.index[k][i] = (uint8_t)((piece - k) * 64 + 4 * (byte / 3) + 2 - byte % 3);
        }
    return t;
}

template <uint32_t PIECE>
alignas(64) constexpr ThreeFromFour<PIECE> THREE_FROM_FOUR = MakeThreeFromFour<PIECE>();

// Four vectors of values decoded to PIECE bytes each (their first PIECE / 3 groups), one
// after another from `to`, in three whole stores where four would overlap: one store and one
// permute fewer. 192 bytes are stored.
template <uint32_t PIECE>
inline __attribute__((always_inline)) void StoreFourAsThree(uint8_t *to, __m512i v0, __m512i v1, __m512i v2,
                                                            __m512i v3)
{
    __m512i m0 = MergeGroups(v0), m1 = MergeGroups(v1), m2 = MergeGroups(v2), m3 = MergeGroups(v3);
    const ThreeFromFour<PIECE> &gather = THREE_FROM_FOUR<PIECE>;
    _mm512_storeu_si512((void *)to, _mm512_permutex2var_epi8(m0, _mm512_load_si512(gather.index[0]), m1));
    _mm512_storeu_si512((void *)(to + 64), _mm512_permutex2var_epi8(m1, _mm512_load_si512(gather.index[1]), m2));
    _mm512_storeu_si512((void *)(to + 128), _mm512_permutex2var_epi8(m2, _mm512_load_si512(gather.index[2]), m3));
}
#endif

// Four 6-bit values per 32-bit lane into three bytes, the 48 bytes first in the vector.
inline __m512i Pack(__m512i values)
{
    const __m512i gather = _mm512_set_epi8(
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        60, 61, 62, 56, 57, 58, 52, 53, 54, 48, 49, 50, 44, 45, 46, 40,
        41, 42, 36, 37, 38, 32, 33, 34, 28, 29, 30, 24, 25, 26, 20, 21,
        22, 16, 17, 18, 12, 13, 14, 8, 9, 10, 4, 5, 6, 0, 1, 2);
    return Permute(gather, MergeGroups(values));
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


// The level's aligned blocks for the shared scans (scan_loop.h): 64 bytes, two to an
// aligned 128, with every test in the mask registers. Here rather than in scan.cpp so that
// the line loop can scan for the NUL inline: a call there would cost it the tables it keeps
// in registers, as every vector register is the caller's to save.
struct Avx512Blocks {
    typedef __m512i Vector;
    typedef uint64_t Mask;
    static const uint32_t BYTES = 64, LINE = 128;
    // Each byte lane counts at most 2 a line.
    static const uint32_t LINES_PER_SUM = 127;

    READS_WHOLE_BLOCKS static __m512i Load(const char *block) { return _mm512_load_si512((const void *)block); }
    static __m512i Zero(void) { return _mm512_setzero_si512(); }

    // Zero exactly in the bytes that end a span.
    template <bool hyphen>
    static __m512i Stops(__m512i bytes)
    {
        return hyphen ? _mm512_min_epu8(bytes, _mm512_xor_si512(bytes, _mm512_set1_epi8('-'))) : bytes;
    }

    template <bool hyphen>
    READS_WHOLE_BLOCKS static Mask StopMask(const char *block)
    {
        __m512i stops = Stops<hyphen>(Load(block));
        return (Mask)_mm512_testn_epi8_mask(stops, stops);
    }

    template <bool hyphen>
    READS_WHOLE_BLOCKS static int LineHasStop(const char *line)
    {
        __m512i any = _mm512_min_epu8(Stops<hyphen>(Load(line)), Stops<hyphen>(Load(line + 64)));
        __mmask64 zero = _mm512_testn_epi8_mask(any, any);
        return !_kortestz_mask64_u8(zero, zero);
    }

    static __mmask64 Fillers(__m512i bytes)
    {
        // The zero-masking broadcast: gcc's plain one starts from an "undefined" register its
        // own warnings then call uninitialized.
        const __m512i spaces = _mm512_maskz_broadcast_i32x4(
            0xFFFF, _mm_setr_epi8(' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, '\f', '\r', 0, 0));
        return _kor_mask64(_mm512_cmpeq_epi8_mask(_mm512_shuffle_epi8(spaces, bytes), bytes),
                           _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('=')));
    }

    static Mask ZeroMask(__m512i bytes) { return (Mask)_mm512_testn_epi8_mask(bytes, bytes); }
    static Mask FillerMask(__m512i bytes) { return (Mask)Fillers(bytes); }
    static __m512i AddFillers(__m512i lanes, __m512i bytes)
    {
        return _mm512_mask_sub_epi8(lanes, Fillers(bytes), lanes, _mm512_set1_epi8(-1));
    }

    static uint32_t SumLanes(__m512i lanes)
    {
        __m512i sums = _mm512_sad_epu8(lanes, Zero());
        __m256i half = _mm256_add_epi64(_mm512_maskz_extracti64x4_epi64(0xF, sums, 0),
                                        _mm512_maskz_extracti64x4_epi64(0xF, sums, 1));
        __m128i quarter = _mm_add_epi64(_mm256_castsi256_si128(half), _mm256_extracti128_si256(half, 1));
        return (uint32_t)_mm_cvtsi128_si32(quarter) + (uint32_t)_mm_cvtsi128_si32(_mm_srli_si128(quarter, 8));
    }
};

}  // namespace
