// codec/core/avx2/scan.cpp -- the AVX2 level's text scans (scan_loop.h) over 32-byte
// blocks, two to a 64-byte line: to the NUL, to the NUL or two hyphens, and the measure to
// either.
#include "codec/core/scan_loop.h"

#include <immintrin.h>

namespace {

struct Avx2Blocks {
    typedef __m256i Vector;
    typedef uint32_t Mask;
    static const uint32_t BYTES = 32, LINE = 64;
    // Each byte lane counts at most 2 a line.
    static const uint32_t LINES_PER_SUM = 127;

    READS_WHOLE_BLOCKS static __m256i Load(const char *block) { return _mm256_load_si256((const __m256i *)block); }
    static __m256i Zero(void) { return _mm256_setzero_si256(); }

    // Zero exactly in the bytes that end a span.
    template <bool hyphen>
    static __m256i Stops(__m256i bytes)
    {
        return hyphen ? _mm256_min_epu8(bytes, _mm256_xor_si256(bytes, _mm256_set1_epi8('-'))) : bytes;
    }

    template <bool hyphen>
    READS_WHOLE_BLOCKS static Mask StopMask(const char *block)
    {
        return (Mask)_mm256_movemask_epi8(_mm256_cmpeq_epi8(Stops<hyphen>(Load(block)), Zero()));
    }

    template <bool hyphen>
    READS_WHOLE_BLOCKS static int LineHasStop(const char *line)
    {
        __m256i any = _mm256_min_epu8(Stops<hyphen>(Load(line)), Stops<hyphen>(Load(line + 32)));
        return _mm256_movemask_epi8(_mm256_cmpeq_epi8(any, Zero())) != 0;
    }

    // 0xFF in each byte that is TAB, LF, FF, CR, space or '=': as in ssse3/scan.cpp, with the
    // nibble table in both lanes.
    static __m256i Fillers(__m256i bytes)
    {
        const __m256i spaces = _mm256_setr_epi8(' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, '\f', '\r', 0, 0,
                                                ' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, '\f', '\r', 0, 0);
        return _mm256_or_si256(_mm256_cmpeq_epi8(_mm256_shuffle_epi8(spaces, bytes), bytes),
                               _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('=')));
    }

    static Mask ZeroMask(__m256i bytes) { return (Mask)_mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, Zero())); }
    static Mask FillerMask(__m256i bytes) { return (Mask)_mm256_movemask_epi8(Fillers(bytes)); }
    static __m256i AddFillers(__m256i lanes, __m256i bytes) { return _mm256_sub_epi8(lanes, Fillers(bytes)); }

    static uint32_t SumLanes(__m256i lanes)
    {
        __m256i sums = _mm256_sad_epu8(lanes, Zero());
        __m128i half = _mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
        return (uint32_t)_mm_cvtsi128_si32(half) + (uint32_t)_mm_cvtsi128_si32(_mm_srli_si128(half, 8));
    }
};

}  // namespace

READS_WHOLE_BLOCKS uint32_t TextSpanAvx2(const char *text, uint32_t limit)
{
    return AlignedSpan<Avx2Blocks, false>(text, limit);
}

READS_WHOLE_BLOCKS uint32_t HyphenSpanAvx2(const char *text, uint32_t limit)
{
    return AlignedHyphenSpan<Avx2Blocks>(text, limit);
}

READS_WHOLE_BLOCKS uint32_t MeasureTextAvx2(const char *text, uint32_t limit, uint32_t *measured)
{
    return AlignedMeasure<Avx2Blocks>(text, limit, measured);
}

READS_WHOLE_BLOCKS uint32_t HyphenMeasureAvx2(const char *text, uint32_t limit, uint32_t *measured)
{
    return AlignedHyphenMeasure<Avx2Blocks>(text, limit, measured);
}
