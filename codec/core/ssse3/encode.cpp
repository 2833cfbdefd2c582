// codec/core/ssse3/encode.cpp -- the SSSE3 encoder: four groups a vector, each 6-bit field
// moved into place by a multiply and turned into its character by one table lookup.
#include "codec/core/kernels.h"

#include <tmmintrin.h>

// Four groups from the 16 bytes loaded at `in` (12 of them used) to their 16 characters.
static inline __attribute__((always_inline)) __m128i EncodeVector(const uint8_t *in)
{
    // Per 32-bit lane the bytes of one group as b1 b0 b2 b1: each 6-bit field then sits in
    // one 16-bit half where a multiply can move it into place.
    __m128i bytes = _mm_shuffle_epi8(_mm_loadu_si128((const __m128i *)in),
                                     _mm_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10));
    __m128i first = _mm_mulhi_epu16(_mm_and_si128(bytes, _mm_set1_epi32(0x0FC0FC00)), _mm_set1_epi32(0x04000040));
    __m128i second = _mm_mullo_epi16(_mm_and_si128(bytes, _mm_set1_epi32(0x003F03F0)), _mm_set1_epi32(0x01000010));
    __m128i sextets = _mm_or_si128(first, second);
    // Offsets to ASCII by range: 0..25 +65, 26..51 +71, 52..61 -4, 62 -19, 63 -16.
    __m128i index = _mm_subs_epu8(sextets, _mm_set1_epi8(51));
    index = _mm_sub_epi8(index, _mm_cmpgt_epi8(sextets, _mm_set1_epi8(25)));
    __m128i offsets = _mm_setr_epi8(65, 71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 0, 0);
    return _mm_add_epi8(sextets, _mm_shuffle_epi8(offsets, index));
}

uint32_t EncodeBlocksSsse3(const uint8_t *input, uint32_t blocks, char *output)
{
    const uint8_t *in = input;
    char *out = output;
    uint32_t done = 0;

    // Each vector loads 16 bytes and uses 12, so the last 4 bytes read must still be input.
    // Four vectors a step: one a step, the loop's own count and branch were a third of the
    // work, and its speed moved with where the loop lay (9 to 13 GB/s).
    for (uint32_t steps = blocks >= 18 ? (blocks - 2) / 16 : 0; steps != 0; --steps) {
        _mm_storeu_si128((__m128i *)out, EncodeVector(in));
        _mm_storeu_si128((__m128i *)(out + 16), EncodeVector(in + 12));
        _mm_storeu_si128((__m128i *)(out + 32), EncodeVector(in + 24));
        _mm_storeu_si128((__m128i *)(out + 48), EncodeVector(in + 36));
        in += 48;
        out += 64;
        done += 16;
    }
    for (; blocks - done >= 6; done += 4) {
        _mm_storeu_si128((__m128i *)out, EncodeVector(in));
        in += 12;
        out += 16;
    }
    return done;
}
