// codec/core/avx2/encode.cpp -- the AVX2 encoder: eight groups a vector, each 6-bit field
// moved into place by a multiply and turned into its character by one table lookup.
#include "codec/core/kernels.h"

#include <immintrin.h>

// Four groups per 128-bit lane, each as b1 b0 b2 b1 in its 32-bit lane, to 16 characters.
static inline __m256i EncodeVector(__m256i in, __m256i offsets)
{
    __m256i first = _mm256_mulhi_epu16(_mm256_and_si256(in, _mm256_set1_epi32(0x0FC0FC00)),
                                       _mm256_set1_epi32(0x04000040));
    __m256i second = _mm256_mullo_epi16(_mm256_and_si256(in, _mm256_set1_epi32(0x003F03F0)),
                                        _mm256_set1_epi32(0x01000010));
    __m256i sextets = _mm256_or_si256(first, second);
    __m256i index = _mm256_subs_epu8(sextets, _mm256_set1_epi8(51));
    index = _mm256_sub_epi8(index, _mm256_cmpgt_epi8(sextets, _mm256_set1_epi8(25)));
    return _mm256_add_epi8(sextets, _mm256_shuffle_epi8(offsets, index));
}

uint32_t EncodeBlocksAvx2(const uint8_t *input, uint32_t blocks, char *output)
{
    // Per 32-bit lane the bytes of one group as b1 b0 b2 b1: each 6-bit field then sits in
    // one 16-bit half where a multiply can move it into place. The vector is loaded from 4
    // bytes before its groups, so the low lane finds its 12 bytes at offset 4, the high
    // lane at 0: one 32-byte load serves both.
    const __m256i spread = _mm256_setr_epi8(5, 4, 6, 5, 8, 7, 9, 8, 11, 10, 12, 11, 14, 13, 15, 14,
                                            1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
    // Offsets to ASCII by range: 0..25 +65, 26..51 +71, 52..61 -4, 62 -19, 63 -16.
    const __m256i offsets = _mm256_setr_epi8(65, 71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 0, 0,
                                             65, 71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 0, 0);
    uint32_t done = 0;

    // The loads read from 4 bytes before the groups up to 4 after the 8th, so the first
    // groups go to the scalar kernel and 10 groups must be left for each step. Up to 7 more
    // go there when that puts every store of 32 characters inside a 32-byte block: a store
    // across a cache line's end costs two.
    if (blocks < 12) return 0;
    uint32_t lead = 2;
    if (((uintptr_t)output & 3) == 0) lead += (uint32_t)((0 - ((uintptr_t)output + 8)) & 31) / 4;
    if (blocks < lead + 10) lead = 2;
    done = EncodeBlocksScalar(input, lead, output);
#if defined(__x86_64__)
    // Four vectors a step where the registers hold them all, interleaved by the compiler.
    for (; blocks - done >= 34; done += 32) {
        const uint8_t *from = input + done * 3 - 4;
        char *to = output + done * 4;
        __m256i in0 = _mm256_shuffle_epi8(_mm256_loadu_si256((const __m256i *)from), spread);
        __m256i in1 = _mm256_shuffle_epi8(_mm256_loadu_si256((const __m256i *)(from + 24)), spread);
        __m256i in2 = _mm256_shuffle_epi8(_mm256_loadu_si256((const __m256i *)(from + 48)), spread);
        __m256i in3 = _mm256_shuffle_epi8(_mm256_loadu_si256((const __m256i *)(from + 72)), spread);
        _mm256_storeu_si256((__m256i *)to, EncodeVector(in0, offsets));
        _mm256_storeu_si256((__m256i *)(to + 32), EncodeVector(in1, offsets));
        _mm256_storeu_si256((__m256i *)(to + 64), EncodeVector(in2, offsets));
        _mm256_storeu_si256((__m256i *)(to + 96), EncodeVector(in3, offsets));
    }
#endif
    for (; blocks - done >= 18; done += 16) {
        const uint8_t *from = input + done * 3 - 4;
        __m256i in0 = _mm256_shuffle_epi8(_mm256_loadu_si256((const __m256i *)from), spread);
        _mm256_storeu_si256((__m256i *)(output + done * 4), EncodeVector(in0, offsets));
        // The second vector only after the first is stored: interleaved, the two need more
        // registers than 32-bit code has, and gcc then reads four constants from the stack
        // for every vector in place of three.
        __asm__ volatile("" ::: "memory");
        __m256i in1 = _mm256_shuffle_epi8(_mm256_loadu_si256((const __m256i *)(from + 24)), spread);
        _mm256_storeu_si256((__m256i *)(output + done * 4 + 32), EncodeVector(in1, offsets));
    }
    for (; blocks - done >= 10; done += 8) {
        const uint8_t *from = input + done * 3 - 4;
        __m256i in = _mm256_shuffle_epi8(_mm256_loadu_si256((const __m256i *)from), spread);
        _mm256_storeu_si256((__m256i *)(output + done * 4), EncodeVector(in, offsets));
    }
    return done;
}
