// codec/core/ssse3/vectors.h -- what the SSSE3 decoder's files share: the standard-alphabet
// vector decode and text loads that may read past the NUL. Included only by files
// compiled with -mssse3.
#pragma once
#include "codec/core/kernels.h"
#include "codec/core/text_loads.h"

#include <tmmintrin.h>


// The standard alphabet's tables (text_loads.h).
struct StandardTables {
    __m128i notLow, high, shift;
};

static inline StandardTables LoadStandardTables(void)
{
    StandardTables t = {_mm_loadu_si128((const __m128i *)STANDARD_NOT_LOW),
                        _mm_loadu_si128((const __m128i *)STANDARD_HIGH),
                        _mm_loadu_si128((const __m128i *)STANDARD_SHIFT)};
    return t;
}

// Makes the tables values gcc cannot load again: where registers are short it would
// otherwise read two of them from the constants again for every vector rather than copy
// them, two loads a vector more in 32-bit code.
static inline void HoldTables(StandardTables &t)
{
    __asm__("" : "+x"(t.notLow), "+x"(t.high), "+x"(t.shift));
}

// Four 6-bit values per lane into three bytes, the 12 bytes first in the vector.
static inline __m128i Pack(__m128i values)
{
    __m128i pairs = _mm_maddubs_epi16(values, _mm_set1_epi32(0x01400140));
    __m128i groups = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00011000));
    return _mm_shuffle_epi8(groups, _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
}

// Decodes 16 characters of the standard alphabet into 12 bytes at `to` (16 stored).
// Returns a vector that is non-zero where a character is not one of them; then what was
// stored is not to be used.
static inline __attribute__((always_inline)) __m128i DecodeStandard(__m128i c, uint8_t *to,
                                                                     const StandardTables &t)
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
static inline void KeepRunning(__m128i &stray)
{
    __asm__("" : "+x"(stray));
}

// Text loads. Without a length the decoder reads the bytes after the NUL that share a page
// with the text, which is harmless but outside the text's allocation: those loads are
// hidden from the address sanitizer.
template <bool untilNul>
static inline __m128i LoadText(const char *p)
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

// Lines of 64 or 76 characters with one separator, from the vector at *position on
// (ssse3/lines.cpp): see there.
template <bool untilNul>
int DecodeLinesSsse3(const char *text, uint32_t *readable, int *endKnown, uint32_t *position, uint8_t *output,
                     uint32_t outputRoom, uint32_t *written, uint32_t nonData, const __m128i *values);
