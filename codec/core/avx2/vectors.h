// codec/core/avx2/vectors.h -- the AVX2 level's vectors: the standard-alphabet decode of 32
// characters, the sorting of any text vector, and the level's primitives for the shared
// decode and line loops (decode_loop.h, line_loop.h). Included only by files compiled with
// the level's flags; everything here has internal linkage.
#pragma once
#include "codec/core/kernels.h"
#include "codec/core/compact.h"
#include "codec/core/text_loads.h"

#include <immintrin.h>

// Lines of 64 or 76 characters with one separator, from the vector at *position on
// (lines.cpp; see DecodeLineShapes in line_loop.h).
template <bool untilNul>
int DecodeLinesAvx2(const char *text, uint32_t *readable, int *endKnown, uint32_t *position, uint8_t *output,
                    uint32_t outputRoom, uint32_t *written, uint32_t nonData, const __m256i *values);

namespace {

// The standard alphabet's tables (text_loads.h) in both lanes, kept in registers across a
// loop.
inline __m256i Replicate(const int8_t (&bytes)[16])
{
    __m128i lane = _mm_loadu_si128((const __m128i *)bytes);
    return _mm256_broadcastsi128_si256(lane);
}

struct StandardTables {
    __m256i notLow, high, shift;
};

inline StandardTables LoadStandardTables(void)
{
    StandardTables t = {Replicate(STANDARD_NOT_LOW), Replicate(STANDARD_HIGH), Replicate(STANDARD_SHIFT)};
    return t;
}

// Makes the tables values gcc cannot take from the constants again, in registers here.
inline void HoldTables(StandardTables &t)
{
    __asm__("" : "+x"(t.notLow), "+x"(t.high), "+x"(t.shift));
}

// Four 6-bit values per 32-bit lane into three bytes, the 24 bytes first in the vector.
inline __m256i Pack(__m256i values)
{
    __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
    __m256i groups = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
    __m256i lanes = _mm256_shuffle_epi8(groups, _mm256_setr_epi8(
        2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1,
        2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
    // Kept as one shuffle and one permute: clang would otherwise split the pair into
    // lane extracts and blends, three more instructions in the hottest loop.
    __asm__("" : "+x"(lanes));
    return _mm256_permutevar8x32_epi32(lanes, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
}

// Weights that join 6-bit values in pairs (the first times 64) and 12-bit pairs in
// groups (the first times 4096).
const __m256i PAIR_WEIGHTS = {0x0140014001400140LL, 0x0140014001400140LL, 0x0140014001400140LL,
                                     0x0140014001400140LL};
const __m256i GROUP_WEIGHTS = {0x0001100000011000LL, 0x0001100000011000LL, 0x0001100000011000LL,
                                      0x0001100000011000LL};

// Four 6-bit values per 32-bit lane into three bytes, each lane's 12 first in the lane.
inline __m256i PackLanes(__m256i values)
{
    // The weights from memory: held in registers in 32-bit code, they would push the
    // shift table out to the stack in the line loops.
    __m256i groups = values;
    __asm__("vpmaddubsw %1, %0, %0" : "+x"(groups) : "m"(PAIR_WEIGHTS));
    __asm__("vpmaddwd %1, %0, %0" : "+x"(groups) : "m"(GROUP_WEIGHTS));
    return _mm256_shuffle_epi8(groups, _mm256_setr_epi8(
        2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1,
        2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
}

// The 12 bytes of each lane of `bytes` (from PackLanes) one after the other at `to`, 28
// bytes stored. Two 16-byte stores cost less than the lane-crossing permute Pack needs.
inline void StoreLanes(__m256i bytes, uint8_t *to)
{
    _mm_storeu_si128((__m128i *)to, _mm256_castsi256_si128(bytes));
    _mm_storeu_si128((__m128i *)(to + 12), _mm256_extracti128_si256(bytes, 1));
}

// The nibble mask in every byte. DecodeStandard takes it from memory: where gcc may
// choose, it holds it in a register, which 32-bit code then takes from the tables and
// reads them again from the stack for every vector.
const __m256i NIBBLES = {0x0F0F0F0F0F0F0F0FLL, 0x0F0F0F0F0F0F0F0FLL, 0x0F0F0F0F0F0F0F0FLL,
                                0x0F0F0F0F0F0F0F0FLL};

// Decodes 32 characters of the standard alphabet into 24 bytes at `to` (28 stored) and
// returns 1; returns 0, storing nothing, when one of them is not of that alphabet. The
// test is one instruction whose flag the caller's branch takes directly.
inline __attribute__((always_inline)) int DecodeStandard(__m256i c, uint8_t *to, const StandardTables &t)
{
    // The shift brings the next byte's low nibble into bits 4-7, and a shuffle reads bit 7.
    __m256i high = _mm256_srli_epi32(c, 4);
    __asm__("vpand %1, %0, %0" : "+x"(high) : "m"(NIBBLES));
    __m256i lowEntry = _mm256_shuffle_epi8(t.notLow, c);
    // The index is made before the test, as gcc takes the asm to change the flags, so that
    // the nibbles are not held across the test beside the lookups (32-bit code has 8
    // registers).
    __m256i shiftIndex = _mm256_xor_si256(high, lowEntry);
    __asm__("" : "+x"(shiftIndex));
    if (!_mm256_testc_si256(lowEntry, _mm256_shuffle_epi8(t.high, high))) return 0;
    StoreLanes(PackLanes(_mm256_add_epi8(c, _mm256_shuffle_epi8(t.shift, shiftIndex))), to);
    return 1;
}

// Text loads. Without a length the decoder reads the bytes after the NUL that share a page
// with the text, which is harmless but outside the text's allocation: those loads are
// hidden from the address sanitizer.
template <bool untilNul>
inline __m256i LoadText(const char *p)
{
    __m256i v;
    if (!untilNul) {
        // Kept in a register: gcc would otherwise read the text again for each of the
        // four instructions that use it, four loads a vector in the hottest loop.
        v = _mm256_loadu_si256((const __m256i *)p);
        __asm__("" : "+x"(v));
        return v;
    }
    __asm__("vmovdqu %1, %0" : "=x"(v) : "m"(*(const char(*)[32])p));
    return v;
}

template <bool untilNul>
inline __m128i LoadText16(const char *p)
{
    if (!untilNul) return _mm_loadu_si128((const __m128i *)p);
    __m128i v;
    __asm__("vmovdqu %1, %0" : "=x"(v) : "m"(*(const char(*)[16])p));
    return v;
}

// 16 characters from each of two places, `low` in the low lane.
template <bool untilNul>
inline __m256i LoadHalves(const char *low, const char *high)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(LoadText16<untilNul>(low)), LoadText16<untilNul>(high), 1);
}

// Bit masks of the characters that carry no data ('-' and '_' do), from two nibble
// lookups: the low nibble names the high-nibble classes in which it is not one.
inline uint32_t NonDataMask(__m256i low, __m256i high)
{
    const __m256i LOW_CLASS = _mm256_setr_epi8(
        0x25, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x23, 0x3A, 0x3B, 0x3A, 0x3B, 0x32,
        0x25, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x23, 0x3A, 0x3B, 0x3A, 0x3B, 0x32);
    const __m256i HIGH_CLASS = _mm256_setr_epi8(
        0x20, 0x20, 0x01, 0x02, 0x04, 0x08, 0x04, 0x10, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
        0x20, 0x20, 0x01, 0x02, 0x04, 0x08, 0x04, 0x10, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20);
    __m256i classes = _mm256_and_si256(_mm256_shuffle_epi8(LOW_CLASS, low),
                                       _mm256_shuffle_epi8(HIGH_CLASS, high));
    return ~(uint32_t)_mm256_movemask_epi8(_mm256_cmpeq_epi8(classes, _mm256_setzero_si256()));
}

// 6-bit values of alphabet characters (others give garbage). The offset comes from the
// high nibble, except for '+' '-' '/' (by their low nibble) and '_' (its own entry 8).
inline __m256i Values(__m256i c, __m256i low, __m256i high)
{
    const __m256i OFFSETS = _mm256_setr_epi8(0, 0, 0, 4, -65, -65, -71, -71, -32, 0, 0, 19, 0, 17, 0, 16,
                                             0, 0, 0, 4, -65, -65, -71, -71, -32, 0, 0, 19, 0, 17, 0, 16);
    __m256i index = _mm256_max_epu8(high, _mm256_and_si256(_mm256_cmpeq_epi8(high, _mm256_set1_epi8(2)), low));
    index = _mm256_add_epi8(index, _mm256_and_si256(_mm256_cmpeq_epi8(c, _mm256_set1_epi8('_')),
                                                    _mm256_set1_epi8(3)));
    return _mm256_add_epi8(c, _mm256_shuffle_epi8(OFFSETS, index));
}

// Plain text of the standard alphabet from *position, 128 characters a round for as many
// of `rounds` as it goes; returns the rounds left, non-zero when one held another byte.
// A function of its own, with the tables held, so that 32-bit code has them in registers:
// inlined, gcc keeps constants of DecodeAvx2's other steps in two, and left to itself,
// the packing constants, and reads a table from the stack for every vector instead.
template <bool untilNul>
__attribute__((noinline)) uint32_t DecodeRounds(const char *text, uint32_t *position, uint8_t *output,
                                                uint32_t *written, uint32_t rounds)
{
    StandardTables tables = LoadStandardTables();
    const char *in = text + *position;
    uint8_t *out = output + *written;
    for (; rounds != 0; --rounds) {
        HoldTables(tables);
        if (!DecodeStandard(LoadText<untilNul>(in), out, tables) ||
            !DecodeStandard(LoadText<untilNul>(in + 32), out + 24, tables) ||
            !DecodeStandard(LoadText<untilNul>(in + 64), out + 48, tables) ||
            !DecodeStandard(LoadText<untilNul>(in + 96), out + 72, tables))
            break;
        in += 128;
        out += 96;
    }
    *position = (uint32_t)(in - text);
    *written = (uint32_t)(out - output);
    return rounds;
}

// The level's primitives for the shared loops (decode_loop.h, line_loop.h).
struct Avx2 {
    typedef __m256i Vector;
    static const uint32_t CHARS = 32;
    // A round is four vectors; StoreLanes reaches 4 bytes past a vector's 24, kept 8 spare.
    static const uint32_t ROUND_CHARS = 128, ROUND_BYTES = 96, ROUND_SLACK = 8;

    template <bool untilNul>
    static __m256i LoadText(const char *p) { return ::LoadText<untilNul>(p); }

    template <bool untilNul>
    static uint32_t DecodeRounds(const char *text, uint32_t *position, uint8_t *output, uint32_t *written,
                                 uint32_t rounds)
    {
        return ::DecodeRounds<untilNul>(text, position, output, written, rounds);
    }

    static uint32_t Sort(__m256i c, __m256i *values)
    {
        __m256i low = _mm256_and_si256(c, _mm256_set1_epi8(0x0F));
        __m256i high = _mm256_and_si256(_mm256_srli_epi32(c, 4), _mm256_set1_epi8(0x0F));
        *values = Values(c, low, high);
        return NonDataMask(low, high);
    }

    static uint32_t HyphenMask(__m256i c)
    {
        return (uint32_t)_mm256_movemask_epi8(_mm256_cmpeq_epi8(c, _mm256_set1_epi8('-')));
    }

    // TAB LF FF CR and space: a byte is whitespace when the table entry at its low nibble
    // equals the byte itself (bytes from 0x80 up read 0 and never match).
    static uint32_t SpaceMask(__m256i c)
{
    const __m256i SPACES = _mm256_setr_epi8(0x20, -1, -1, -1, -1, -1, -1, -1, -1, 0x09, 0x0A, -1, 0x0C, 0x0D, -1, -1,
                                            0x20, -1, -1, -1, -1, -1, -1, -1, -1, 0x09, 0x0A, -1, 0x0C, 0x0D, -1, -1);
    return (uint32_t)_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_shuffle_epi8(SPACES, c), c));
}

    static void StorePacked(__m256i values, uint8_t *to) { _mm256_storeu_si256((__m256i *)to, Pack(values)); }
    static void StoreValues(__m256i values, uint8_t *to) { _mm256_storeu_si256((__m256i *)to, values); }
    static __m256i LoadValues(const uint8_t *from) { return _mm256_loadu_si256((const __m256i *)from); }

    // Whitespace is dropped per 16-byte lane with the shared table.
    static uint32_t CompactValues(__m256i values, uint32_t keep, uint8_t *to)
    {
        uint32_t count = Compact(_mm256_castsi256_si128(values), keep & 0xFFFF, to);
        return count + Compact(_mm256_extracti128_si256(values, 1), keep >> 16, to + count);
    }

    template <bool untilNul>
    static int DecodeLines(const char *text, uint32_t *readable, int *endKnown, uint32_t *position,
                           uint8_t *output, uint32_t outputRoom, uint32_t *written, uint32_t nonData,
                           const __m256i *values)
    {
        return DecodeLinesAvx2<untilNul>(text, readable, endKnown, position, output, outputRoom, written,
                                         nonData, values);
    }

    static constexpr SpanKernel Span = TextSpanAvx2;
};

}  // namespace
