// codec/core/avx2/scan.cpp -- MeasureText's pass for AVX2 CPUs (and the AVX-512
// kernel's): the text's length and its whitespace and '=' in one pass, 64 bytes a round.
// Compiled with -mavx2 -mpopcnt; the dispatcher checks for both.
#include "codec/core/kernels.h"

#include <immintrin.h>

// 0xFF in each byte that is TAB, LF, FF, CR, space or '='; as in ssse3/scan.cpp, with
// the nibble table in both lanes.
static inline __m256i Fillers(__m256i bytes, __m256i spaces, __m256i equals)
{
    return _mm256_or_si256(_mm256_cmpeq_epi8(_mm256_shuffle_epi8(spaces, bytes), bytes),
                           _mm256_cmpeq_epi8(bytes, equals));
}

// The aligned block of 32 at `block`, whose text starts at byte `first` and may go on for
// `room` characters: adds the fillers among those before the NUL to *count and sets
// *taken to the characters taken. Returns 1 when the text or the room ends in the block.
READS_WHOLE_BLOCKS static inline int MeasureBlock(const char *block, uint32_t first, uint32_t room,
                               __m256i spaces, __m256i equals, uint32_t *taken, uint32_t *count)
{
    __m256i bytes = _mm256_load_si256((const __m256i *)block);
    uint64_t zeros = (uint32_t)_mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, _mm256_setzero_si256())) >> first;
    uint64_t fillers = (uint32_t)_mm256_movemask_epi8(Fillers(bytes, spaces, equals)) >> first;
    uint32_t end = 32 - first;
    int last = 0;

    if (zeros) {
        end = (uint32_t)__builtin_ctzll(zeros);
        last = 1;
    }
    if (room <= end) {
        end = room;
        last = 1;
    }
    *count += (uint32_t)__builtin_popcountll(fillers & (((uint64_t)1 << end) - 1));
    *taken = end;
    return last;
}

// Every block read holds a byte not past the NUL, or shares a 64-byte line with one.
READS_WHOLE_BLOCKS uint32_t MeasureTextAvx2(const char *text, uint32_t limit, uint32_t *measured)
{
    const __m256i spaces = _mm256_setr_epi8(' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, '\f', '\r', 0, 0,
                                            ' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, '\f', '\r', 0, 0);
    const __m256i equals = _mm256_set1_epi8('=');
    const __m256i zero = _mm256_setzero_si256();
    uint32_t skew = (uint32_t)((uintptr_t)text & 31);
    uint32_t n = 0, count = 0, taken = 0;

    if (MeasureBlock(text - skew, skew, limit, spaces, equals, &taken, &count)) {
        *measured = count;
        return taken;
    }
    n = taken;
    if ((uintptr_t)(text + n) & 63) {
        if (MeasureBlock(text + n, 0, limit - n, spaces, equals, &taken, &count)) {
            *measured = count;
            return n + taken;
        }
        n += 32;
    }
    // Whole lines with one NUL test each. Each byte lane counts at most 2 a line, so the
    // lanes are summed (vpsadbw) every 127 lines, before one could pass 255.
    __m256i sums = zero;
    while (limit - n >= 64) {
        uint32_t lines = (limit - n) / 64, line = 0;
        __m256i lanes = zero;
        if (lines > 127) lines = 127;
        for (; line < lines; ++line) {
            const __m256i *p = (const __m256i *)(text + n) + 2 * line;
            __m256i a = _mm256_load_si256(p), b = _mm256_load_si256(p + 1);
            if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_min_epu8(a, b), zero))) break;
            lanes = _mm256_sub_epi8(lanes, Fillers(a, spaces, equals));
            lanes = _mm256_sub_epi8(lanes, Fillers(b, spaces, equals));
        }
        sums = _mm256_add_epi64(sums, _mm256_sad_epu8(lanes, zero));
        n += 64 * line;
        if (line < lines) break;
    }
    __m128i half = _mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
    count += (uint32_t)_mm_cvtsi128_si32(half) + (uint32_t)_mm_cvtsi128_si32(_mm_srli_si128(half, 8));
    while (!MeasureBlock(text + n, 0, limit - n, spaces, equals, &taken, &count)) n += 32;
    *measured = count;
    return n + taken;
}
