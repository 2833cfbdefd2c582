// codec/core/ssse3/vectors.h -- the SSSE3 level's vectors: the standard-alphabet decode of 16
// characters, the sorting of any text vector, and the level's primitives for the shared
// decode and line loops (decode_loop.h, line_loop.h). Included only by files compiled with
// -mssse3; everything here has internal linkage.
#pragma once
#include "codec/core/kernels.h"
#include "codec/core/compact.h"
#include "codec/core/text_loads.h"

#include <tmmintrin.h>

// Lines of 64 or 76 characters with one separator, from the vector at *position on
// (lines.cpp; see DecodeLineShapes in line_loop.h).
template <bool untilNul>
int DecodeLinesSsse3(const char *text, uint32_t *readable, int *endKnown, uint32_t *position, uint8_t *output,
                     uint32_t outputRoom, uint32_t *written, uint32_t nonData, const __m128i *values);

namespace {

// The standard alphabet's tables (text_loads.h).
struct StandardTables {
    __m128i notLow, high, shift;
};

inline StandardTables LoadStandardTables(void)
{
    StandardTables t = {_mm_loadu_si128((const __m128i *)STANDARD_NOT_LOW),
                        _mm_loadu_si128((const __m128i *)STANDARD_HIGH),
                        _mm_loadu_si128((const __m128i *)STANDARD_SHIFT)};
    return t;
}

// Makes the tables values gcc cannot load again: where registers are short it would
// otherwise read two of them from the constants again for every vector rather than copy
// them, two loads a vector more in 32-bit code.
inline void HoldTables(StandardTables &t)
{
    __asm__("" : "+x"(t.notLow), "+x"(t.high), "+x"(t.shift));
}

// Four 6-bit values per lane into three bytes, the 12 bytes first in the vector.
inline __m128i Pack(__m128i values)
{
    __m128i pairs = _mm_maddubs_epi16(values, _mm_set1_epi32(0x01400140));
    __m128i groups = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00011000));
    return _mm_shuffle_epi8(groups, _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
}

// Decodes 16 characters of the standard alphabet into 12 bytes at `to` (16 stored).
// Returns a vector that is non-zero where a character is not one of them; then what was
// stored is not to be used.
inline __attribute__((always_inline)) __m128i DecodeStandard(__m128i c, uint8_t *to, const StandardTables &t)
{
    // The shift brings the next byte's low nibble into bits 4-7, and a shuffle reads bit 7.
    __m128i high = _mm_and_si128(_mm_srli_epi32(c, 4), _mm_set1_epi8(0x0F));
    __m128i lowEntry = _mm_shuffle_epi8(t.notLow, c);
    __m128i stray = _mm_andnot_si128(lowEntry, _mm_shuffle_epi8(t.high, high));
    __m128i shift = _mm_shuffle_epi8(t.shift, _mm_xor_si128(high, lowEntry));
    _mm_storeu_si128((__m128i *)to, Pack(_mm_add_epi8(c, shift)));
    return stray;
}

// Ends gcc's freedom to regroup a chain of ORs: it would keep each vector's result apart
// until the end of a round, which 32-bit code has no registers for, and spill them.
inline void KeepRunning(__m128i &stray)
{
    __asm__("" : "+x"(stray));
}

// 1 when no character of the round was stray.
inline int AllStandard(__m128i stray)
{
    return _mm_movemask_epi8(_mm_cmpeq_epi8(stray, _mm_setzero_si128())) == 0xFFFF;
}

// Text loads. Without a length the decoder reads the bytes after the NUL that share a page
// with the text, which is harmless but outside the text's allocation: those loads are
// hidden from the address sanitizer.
template <bool untilNul>
inline __m128i LoadText(const char *p)
{
    __m128i v;
    if (!untilNul) {
        // Kept in a register: gcc would otherwise read the text again for each copy of
        // it the two-operand instructions need.
        v = _mm_loadu_si128((const __m128i *)p);
        __asm__("" : "+x"(v));
        return v;
    }
    __asm__("movdqu %1, %0" : "=x"(v) : "m"(*(const char(*)[16])p));
    return v;
}

// Bit masks of the characters that carry no data ('-' and '_' do), from two nibble
// lookups: the low nibble names the high-nibble classes in which it is not one.
inline uint32_t NonDataMask(__m128i low, __m128i high)
{
    const __m128i LOW_CLASS = _mm_setr_epi8(0x25, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21,
                                            0x21, 0x21, 0x23, 0x3A, 0x3B, 0x3A, 0x3B, 0x32);
    const __m128i HIGH_CLASS = _mm_setr_epi8(0x20, 0x20, 0x01, 0x02, 0x04, 0x08, 0x04, 0x10,
                                             0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20);
    __m128i classes = _mm_and_si128(_mm_shuffle_epi8(LOW_CLASS, low), _mm_shuffle_epi8(HIGH_CLASS, high));
    return ~(uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(classes, _mm_setzero_si128())) & 0xFFFF;
}

// 6-bit values of alphabet characters (others give garbage). The offset comes from the
// high nibble, except for '+' '-' '/' (by their low nibble) and '_' (its own entry 8).
inline __m128i Values(__m128i c, __m128i low, __m128i high)
{
    const __m128i OFFSETS = _mm_setr_epi8(0, 0, 0, 4, -65, -65, -71, -71, -32, 0, 0, 19, 0, 17, 0, 16);
    __m128i index = _mm_max_epu8(high, _mm_and_si128(_mm_cmpeq_epi8(high, _mm_set1_epi8(2)), low));
    index = _mm_add_epi8(index, _mm_and_si128(_mm_cmpeq_epi8(c, _mm_set1_epi8('_')), _mm_set1_epi8(3)));
    return _mm_add_epi8(c, _mm_shuffle_epi8(OFFSETS, index));
}

// The level's primitives for the shared loops (decode_loop.h, line_loop.h).
struct Ssse3 {
    typedef __m128i Vector;
    static const uint32_t CHARS = 16;
    // A round is four vectors, and its last 16-byte store reaches 4 bytes past its 48.
    static const uint32_t ROUND_CHARS = 64, ROUND_BYTES = 48, ROUND_SLACK = 4;

    template <bool untilNul>
    static __m128i LoadText(const char *p) { return ::LoadText<untilNul>(p); }

    // Plain text of the standard alphabet from *position, a round of four vectors with one
    // validity test for as many of `rounds` as it goes; returns the rounds left. Inlined,
    // with the tables loaded just before it, which 32-bit code keeps in registers.
    template <bool untilNul>
    static __attribute__((always_inline)) uint32_t DecodeRounds(const char *text, uint32_t *position,
                                                                uint8_t *output, uint32_t *written,
                                                                uint32_t rounds)
    {
        const StandardTables tables = LoadStandardTables();
        const char *in = text + *position;
        uint8_t *out = output + *written;
        for (; rounds != 0; --rounds) {
            __m128i stray = DecodeStandard(::LoadText<untilNul>(in), out, tables);
            stray = _mm_or_si128(stray, DecodeStandard(::LoadText<untilNul>(in + 16), out + 12, tables));
            KeepRunning(stray);
            stray = _mm_or_si128(stray, DecodeStandard(::LoadText<untilNul>(in + 32), out + 24, tables));
            KeepRunning(stray);
            stray = _mm_or_si128(stray, DecodeStandard(::LoadText<untilNul>(in + 48), out + 36, tables));
            if (!AllStandard(stray)) break;
            in += 64;
            out += 48;
        }
        *position = (uint32_t)(in - text);
        *written = (uint32_t)(out - output);
        return rounds;
    }

    static uint32_t Sort(__m128i c, __m128i *values)
    {
        __m128i low = _mm_and_si128(c, _mm_set1_epi8(0x0F));
        __m128i high = _mm_and_si128(_mm_srli_epi32(c, 4), _mm_set1_epi8(0x0F));
        *values = Values(c, low, high);
        return NonDataMask(low, high);
    }

    static uint32_t HyphenMask(__m128i c)
    {
        return (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(c, _mm_set1_epi8('-')));
    }

    // TAB LF FF CR and space: a byte is whitespace when the table entry at its low nibble
    // equals the byte itself (bytes from 0x80 up read 0 and never match).
    static uint32_t SpaceMask(__m128i c)
    {
        const __m128i SPACES = _mm_setr_epi8(0x20, -1, -1, -1, -1, -1, -1, -1,
                                             -1, 0x09, 0x0A, -1, 0x0C, 0x0D, -1, -1);
        return (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_shuffle_epi8(SPACES, c), c));
    }

    static void StorePacked(__m128i values, uint8_t *to) { _mm_storeu_si128((__m128i *)to, Pack(values)); }
    static void StoreValues(__m128i values, uint8_t *to) { _mm_storeu_si128((__m128i *)to, values); }
    static __m128i LoadValues(const uint8_t *from) { return _mm_loadu_si128((const __m128i *)from); }
    static uint32_t CompactValues(__m128i values, uint32_t keep, uint8_t *to) { return Compact(values, keep, to); }

    template <bool untilNul>
    static int DecodeLines(const char *text, uint32_t *readable, int *endKnown, uint32_t *position,
                           uint8_t *output, uint32_t outputRoom, uint32_t *written, uint32_t nonData,
                           const __m128i *values)
    {
        return DecodeLinesSsse3<untilNul>(text, readable, endKnown, position, output, outputRoom, written,
                                          nonData, values);
    }

    static constexpr SpanKernel Span = TextSpanSse2;
};

}  // namespace
