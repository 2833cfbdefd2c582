// codec/core/ssse3/scan.cpp -- MeasureText's pass for SSSE3 CPUs: the text's length and
// its whitespace and '=' in one pass, 64 bytes a round. Compiled with -mssse3 only.
#include "codec/core/kernels.h"

#include <tmmintrin.h>

// 0xFF in each byte that is TAB, LF, FF, CR, space or '='. `spaces` holds, at the index of
// each low nibble, the one whitespace character with that nibble (0 where there is none,
// which no byte of that nibble can equal); bytes from 0x80 look up 0, which they are not.
static inline __m128i Fillers(__m128i bytes, __m128i spaces, __m128i equals)
{
    return _mm_or_si128(_mm_cmpeq_epi8(_mm_shuffle_epi8(spaces, bytes), bytes),
                        _mm_cmpeq_epi8(bytes, equals));
}

// The aligned block of 16 at `block`, whose text starts at byte `first` and may go on for
// `room` characters: adds the fillers among those before the NUL to *count and sets
// *taken to the characters taken. Returns 1 when the text or the room ends in the block.
READS_WHOLE_BLOCKS static inline int MeasureBlock(const char *block, uint32_t first, uint32_t room,
                               __m128i spaces, __m128i equals, uint32_t *taken, uint32_t *count)
{
    __m128i bytes = _mm_load_si128((const __m128i *)block);
    uint32_t zeros = (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_setzero_si128())) >> first;
    uint32_t fillers = (uint32_t)_mm_movemask_epi8(Fillers(bytes, spaces, equals)) >> first;
    uint32_t end = 16 - first;
    int last = 0;

    if (zeros) {
        end = (uint32_t)__builtin_ctz(zeros);
        last = 1;
    }
    if (room <= end) {
        end = room;
        last = 1;
    }
    *count += (uint32_t)__builtin_popcount(fillers & ((1u << end) - 1));
    *taken = end;
    return last;
}

// Every block read holds a byte not past the NUL, or shares a 64-byte line with one.
READS_WHOLE_BLOCKS uint32_t MeasureTextSsse3(const char *text, uint32_t limit, uint32_t *measured)
{
    const __m128i spaces = _mm_setr_epi8(' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, '\f', '\r', 0, 0);
    const __m128i equals = _mm_set1_epi8('=');
    const __m128i zero = _mm_setzero_si128();
    uint32_t skew = (uint32_t)((uintptr_t)text & 15);
    uint32_t n = 0, count = 0, taken = 0;

    if (MeasureBlock(text - skew, skew, limit, spaces, equals, &taken, &count)) {
        *measured = count;
        return taken;
    }
    n = taken;
    while ((uintptr_t)(text + n) & 63) {
        if (MeasureBlock(text + n, 0, limit - n, spaces, equals, &taken, &count)) {
            *measured = count;
            return n + taken;
        }
        n += 16;
    }
    // Whole lines with one NUL test each. Each byte lane counts at most 4 a line, so the
    // lanes are summed (psadbw) every 63 lines, before one could pass 255.
    __m128i sums = zero;
    while (limit - n >= 64) {
        uint32_t lines = (limit - n) / 64, line = 0;
        __m128i lanes = zero;
        if (lines > 63) lines = 63;
        for (; line < lines; ++line) {
            const __m128i *p = (const __m128i *)(text + n) + 4 * line;
            __m128i a = _mm_load_si128(p), b = _mm_load_si128(p + 1);
            __m128i c = _mm_load_si128(p + 2), d = _mm_load_si128(p + 3);
            __m128i low = _mm_min_epu8(_mm_min_epu8(a, b), _mm_min_epu8(c, d));
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(low, zero))) break;
            lanes = _mm_sub_epi8(lanes, Fillers(a, spaces, equals));
            lanes = _mm_sub_epi8(lanes, Fillers(b, spaces, equals));
            lanes = _mm_sub_epi8(lanes, Fillers(c, spaces, equals));
            lanes = _mm_sub_epi8(lanes, Fillers(d, spaces, equals));
        }
        sums = _mm_add_epi64(sums, _mm_sad_epu8(lanes, zero));
        n += 64 * line;
        if (line < lines) break;
    }
    count += (uint32_t)_mm_cvtsi128_si32(sums) + (uint32_t)_mm_cvtsi128_si32(_mm_srli_si128(sums, 8));
    while (!MeasureBlock(text + n, 0, limit - n, spaces, equals, &taken, &count)) n += 16;
    *measured = count;
    return n + taken;
}
