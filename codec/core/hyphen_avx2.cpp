// codec/core/hyphen_avx2.cpp -- the armoured body's scan for the NUL or '-' in 32-byte
// blocks, for the AVX2 and AVX-512 kernels' CPUs.
#include "codec/core/kernels.h"
#include "codec/core/wrapper.h"

#include <immintrin.h>

// Zero exactly in the bytes that are the NUL or '-'.
static inline __m256i NulOrHyphen(__m256i block)
{
    return _mm256_min_epu8(block, _mm256_xor_si256(block, _mm256_set1_epi8('-')));
}

READS_WHOLE_BLOCKS static inline uint32_t StopMask(const __m256i *block)
{
    return (uint32_t)_mm256_movemask_epi8(_mm256_cmpeq_epi8(NulOrHyphen(_mm256_load_si256(block)), _mm256_setzero_si256()));
}

// Reads whole aligned blocks as TextSpanAvx2 does: every block read holds a byte not yet
// known to lie past the NUL, or shares a 64-byte line with one.
READS_WHOLE_BLOCKS uint32_t HyphenSpanAvx2(const char *text, uint32_t limit)
{
    uint32_t skew = (uint32_t)((uintptr_t)text & 31);
    uint32_t n = 32 - skew, stop = 0;

    stop = StopMask((const __m256i *)(text - skew)) >> skew;
    if (stop) return (uint32_t)__builtin_ctz(stop) < limit ? (uint32_t)__builtin_ctz(stop) : limit;
    while (n < limit) {
        const __m256i *block = (const __m256i *)(text + n);
        if (((uintptr_t)block & 63) == 0) {
            __m256i any = _mm256_min_epu8(NulOrHyphen(_mm256_load_si256(block)), NulOrHyphen(_mm256_load_si256(block + 1)));
            if (!_mm256_movemask_epi8(_mm256_cmpeq_epi8(any, _mm256_setzero_si256()))) {
                n += 64;
                continue;
            }
        }
        stop = StopMask(block);
        if (stop) return limit - n > (uint32_t)__builtin_ctz(stop) ? n + __builtin_ctz(stop) : limit;
        n += 32;
    }
    return limit;
}
