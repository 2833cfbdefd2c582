// codec/core/avx512/encode.cpp -- the AVX-512 encoder: sixteen groups a vector, each spread
// into its 32-bit lane by a byte permute, the fields pulled out by one multishift (VBMI)
// and turned into characters by one 64-entry permute.
#include "codec/core/avx512/vectors.h"

static const uint32_t STREAM_MIN_BLOCKS = (16u << 20) / 4;   // 16 MiB of output

// Sixteen groups (48 bytes from `in`) to their 64 characters.
static inline __attribute__((always_inline)) __m512i EncodeVector(__m512i in, __m512i spread, __m512i shifts,
                                                                  __m512i alphabet)
{
    __m512i fields = _mm512_maskz_multishift_epi64_epi8(ALL_64, shifts, Permute(spread, in));
    return Permute(fields, alphabet);
}

uint32_t EncodeBlocksAvx512(const uint8_t *input, uint32_t blocks, char *output)
{
    // Per 32-bit lane the bytes of one group as b2 b1 b0 (b0 again as filler), so the lane
    // holds the 24 bits in reading order and each 6-bit field is one multishift away.
    const __m512i spread = _mm512_set_epi8(
        45, 45, 46, 47, 42, 42, 43, 44, 39, 39, 40, 41, 36, 36, 37, 38,
        33, 33, 34, 35, 30, 30, 31, 32, 27, 27, 28, 29, 24, 24, 25, 26,
        21, 21, 22, 23, 18, 18, 19, 20, 15, 15, 16, 17, 12, 12, 13, 14,
        9, 9, 10, 11, 6, 6, 7, 8, 3, 3, 4, 5, 0, 0, 1, 2);
    const __m512i shifts = _mm512_set1_epi64(0x20262C3200060C12ll);
    const __m512i alphabet = _mm512_loadu_si512((const void *)BASE64_ALPHABET);
    uint32_t done = 0;

    // An output far larger than the caches goes round them: streaming stores save reading
    // each line in before it is overwritten. They need an aligned output, which a few
    // groups by the scalar kernel give (a group is 4 characters).
    if (blocks >= STREAM_MIN_BLOCKS && ((uintptr_t)output & 3) == 0) {
        done = (uint32_t)(-(uintptr_t)output & 63) / 4;
        EncodeBlocksScalar(input, done, output);
        for (; blocks - done >= 22; done += 16) {
            __m512i in = _mm512_loadu_si512((const void *)(input + done * 3));
            _mm512_stream_si512((__m512i *)(output + done * 4), EncodeVector(in, spread, shifts, alphabet));
        }
        _mm_sfence();
    }
    // Plain 64-byte loads while the input lasts (a masked load that misses the cache waits
    // far longer than a plain one), four vectors a step: one a step, the loop's own count
    // and branch held both compilers' builds to 60 GB/s at 128 KiB in place of 75.
    // Nothing is asked for ahead: a prefetch of every line 1 KiB on made input in the L3
    // cache encode 1.1 x as fast, but input in memory (a large file's, a chunk at a time as
    // the jobs take it, which a call's size cannot tell apart) 0.85 x.
    const uint8_t *in = input + done * 3;
    char *out = output + done * 4;
    for (uint32_t steps = blocks - done >= 70 ? (blocks - done - 6) / 64 : 0; steps != 0; --steps) {
        _mm512_storeu_si512((void *)out, EncodeVector(_mm512_loadu_si512((const void *)in), spread, shifts, alphabet));
        _mm512_storeu_si512((void *)(out + 64), EncodeVector(_mm512_loadu_si512((const void *)(in + 48)), spread,
                                                             shifts, alphabet));
        _mm512_storeu_si512((void *)(out + 128), EncodeVector(_mm512_loadu_si512((const void *)(in + 96)), spread,
                                                              shifts, alphabet));
        _mm512_storeu_si512((void *)(out + 192), EncodeVector(_mm512_loadu_si512((const void *)(in + 144)), spread,
                                                              shifts, alphabet));
        in += 192;
        out += 256;
        done += 64;
    }
    for (; blocks - done >= 22; done += 16) {
        _mm512_storeu_si512((void *)out, EncodeVector(_mm512_loadu_si512((const void *)in), spread, shifts, alphabet));
        in += 48;
        out += 64;
    }
    // The masked load reads exactly the 48 bytes used, so the last groups can be done too.
    for (; blocks - done >= 16; done += 16) {
        __m512i last = _mm512_maskz_loadu_epi8(LOW_48, in);
        _mm512_storeu_si512((void *)out, EncodeVector(last, spread, shifts, alphabet));
        in += 48;
        out += 64;
    }
    return done;
}
