// codec/core/hyphen_ssse3.cpp -- the armoured body's scan for the NUL or '-' in 16-byte
// blocks, for the SSSE3 kernel's CPUs (it needs only SSE2).
#include "codec/core/kernels.h"
#include "codec/core/wrapper.h"

#include <emmintrin.h>

// Zero exactly in the bytes that are the NUL or '-'.
static inline __m128i NulOrHyphen(__m128i block)
{
    return _mm_min_epu8(block, _mm_xor_si128(block, _mm_set1_epi8('-')));
}

READS_WHOLE_BLOCKS static inline uint32_t StopMask(const __m128i *block)
{
    return (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(NulOrHyphen(_mm_load_si128(block)), _mm_setzero_si128()));
}

// Reads whole aligned blocks as TextSpanSse2 does: every block read holds a byte not yet
// known to lie past the NUL, or shares a 64-byte line with one.
READS_WHOLE_BLOCKS uint32_t HyphenSpanSse2(const char *text, uint32_t limit)
{
    uint32_t skew = (uint32_t)((uintptr_t)text & 15);
    uint32_t n = 16 - skew, stop = 0;

    stop = StopMask((const __m128i *)(text - skew)) >> skew;
    if (stop) return (uint32_t)__builtin_ctz(stop) < limit ? (uint32_t)__builtin_ctz(stop) : limit;
    while (n < limit) {
        const __m128i *block = (const __m128i *)(text + n);
        if (((uintptr_t)block & 63) == 0) {
            __m128i any = _mm_min_epu8(_mm_min_epu8(NulOrHyphen(_mm_load_si128(block)), NulOrHyphen(_mm_load_si128(block + 1))),
                                       _mm_min_epu8(NulOrHyphen(_mm_load_si128(block + 2)), NulOrHyphen(_mm_load_si128(block + 3))));
            if (!_mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128()))) {
                n += 64;
                continue;
            }
        }
        stop = StopMask(block);
        if (stop) return limit - n > (uint32_t)__builtin_ctz(stop) ? n + __builtin_ctz(stop) : limit;
        n += 16;
    }
    return limit;
}
