// codec/core/ssse3/encode.cpp -- the SSSE3 encoder: four groups a vector, each 6-bit field
// moved into place by a multiply and turned into its character by one table lookup.
#include "codec/core/kernels.h"

#include <tmmintrin.h>

uint32_t EncodeBlocksSsse3(const uint8_t *input, uint32_t blocks, char *output)
{
    uint32_t done = 0;
    // Each step loads 16 bytes and uses 12, so the last 4 bytes read must still be input.
    for (; blocks - done >= 6; done += 4) {
        __m128i in = _mm_loadu_si128((const __m128i *)(input + done * 3));
        // Per 32-bit lane the bytes of one group as b1 b0 b2 b1: each 6-bit field then
        // sits in one 16-bit half where a multiply can move it into place.
        in = _mm_shuffle_epi8(in, _mm_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10));
        __m128i first = _mm_mulhi_epu16(_mm_and_si128(in, _mm_set1_epi32(0x0FC0FC00)),
                                        _mm_set1_epi32(0x04000040));
        __m128i second = _mm_mullo_epi16(_mm_and_si128(in, _mm_set1_epi32(0x003F03F0)),
                                         _mm_set1_epi32(0x01000010));
        __m128i sextets = _mm_or_si128(first, second);
        // Offsets to ASCII by range: 0..25 +65, 26..51 +71, 52..61 -4, 62 -19, 63 -16.
        __m128i index = _mm_subs_epu8(sextets, _mm_set1_epi8(51));
        index = _mm_sub_epi8(index, _mm_cmpgt_epi8(sextets, _mm_set1_epi8(25)));
        __m128i offsets = _mm_setr_epi8(65, 71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 0, 0);
        _mm_storeu_si128((__m128i *)(output + done * 4),
                         _mm_add_epi8(sextets, _mm_shuffle_epi8(offsets, index)));
    }
    return done;
}
