// codec/core/compact.h -- the step the SSSE3 and AVX2 decoders drop whitespace with: a
// 16-byte lane's data values moved together by the shared table (shared.h). Included by
// each level's vectors.h, so it is compiled with that level's flags.
#pragma once
#include "codec/core/shared.h"

#include <tmmintrin.h>

namespace {

// Stores the bytes of `values` whose bit is set in `keep` (16 bits) contiguously at `to`
// (16 bytes there must be writable) and returns how many.
inline uint32_t Compact(__m128i values, uint32_t keep, uint8_t *to)
{
    uint32_t low = keep & 0xFF, high = keep >> 8 & 0xFF;
    __m128i order = _mm_unpacklo_epi64(
        _mm_loadl_epi64((const __m128i *)COMPACT_SHUFFLE[low]),
        _mm_add_epi8(_mm_loadl_epi64((const __m128i *)COMPACT_SHUFFLE[high]), _mm_set1_epi8(8)));
    __m128i packed = _mm_shuffle_epi8(values, order);
    _mm_storel_epi64((__m128i *)to, packed);
    _mm_storel_epi64((__m128i *)(to + COMPACT_COUNT[low]), _mm_srli_si128(packed, 8));
    return COMPACT_COUNT[low] + COMPACT_COUNT[high];
}

}  // namespace
