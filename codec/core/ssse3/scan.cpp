// codec/core/ssse3/scan.cpp -- the SSSE3 level's text scans (scan_loop.h) over 16-byte
// blocks, four to a 64-byte line: to the NUL, to the NUL or two hyphens, and the measure to
// either.
// The two spans need only SSE2.
#include "codec/core/scan_loop.h"

#include <tmmintrin.h>

namespace {

struct Sse2Blocks {
    typedef __m128i Vector;
    typedef uint32_t Mask;
    static const uint32_t BYTES = 16, LINE = 64;
    // Each byte lane counts at most 4 a line.
    static const uint32_t LINES_PER_SUM = 63;

    READS_WHOLE_BLOCKS static __m128i Load(const char *block) { return _mm_load_si128((const __m128i *)block); }
    static __m128i Zero(void) { return _mm_setzero_si128(); }

    // Zero exactly in the bytes that end a span.
    template <bool hyphen>
    static __m128i Stops(__m128i bytes)
    {
        return hyphen ? _mm_min_epu8(bytes, _mm_xor_si128(bytes, _mm_set1_epi8('-'))) : bytes;
    }

    template <bool hyphen>
    READS_WHOLE_BLOCKS static Mask StopMask(const char *block)
    {
        return (Mask)_mm_movemask_epi8(_mm_cmpeq_epi8(Stops<hyphen>(Load(block)), Zero()));
    }

    template <bool hyphen>
    READS_WHOLE_BLOCKS static int LineHasStop(const char *line)
    {
        __m128i any = _mm_min_epu8(_mm_min_epu8(Stops<hyphen>(Load(line)), Stops<hyphen>(Load(line + 16))),
                                   _mm_min_epu8(Stops<hyphen>(Load(line + 32)), Stops<hyphen>(Load(line + 48))));
        return _mm_movemask_epi8(_mm_cmpeq_epi8(any, Zero())) != 0;
    }

    // 0xFF in each byte that is TAB, LF, FF, CR, space or '='. The table holds, at the index
    // of each low nibble, the one whitespace character with that nibble (0 where there is
    // none, which no byte of that nibble can equal); bytes from 0x80 look up 0, which they
    // are not.
    static __m128i Fillers(__m128i bytes)
    {
        const __m128i spaces = _mm_setr_epi8(' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, '\f', '\r', 0, 0);
        return _mm_or_si128(_mm_cmpeq_epi8(_mm_shuffle_epi8(spaces, bytes), bytes),
                            _mm_cmpeq_epi8(bytes, _mm_set1_epi8('=')));
    }

    static Mask ZeroMask(__m128i bytes) { return (Mask)_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, Zero())); }
    static Mask FillerMask(__m128i bytes) { return (Mask)_mm_movemask_epi8(Fillers(bytes)); }
    static __m128i AddFillers(__m128i lanes, __m128i bytes) { return _mm_sub_epi8(lanes, Fillers(bytes)); }

    static uint32_t SumLanes(__m128i lanes)
    {
        __m128i sums = _mm_sad_epu8(lanes, Zero());
        return (uint32_t)_mm_cvtsi128_si32(sums) + (uint32_t)_mm_cvtsi128_si32(_mm_srli_si128(sums, 8));
    }
};

}  // namespace

READS_WHOLE_BLOCKS uint32_t TextSpanSse2(const char *text, uint32_t limit)
{
    return AlignedSpan<Sse2Blocks, false>(text, limit);
}

READS_WHOLE_BLOCKS uint32_t HyphenSpanSse2(const char *text, uint32_t limit)
{
    return AlignedHyphenSpan<Sse2Blocks>(text, limit);
}

READS_WHOLE_BLOCKS uint32_t MeasureTextSsse3(const char *text, uint32_t limit, uint32_t *measured)
{
    return AlignedMeasure<Sse2Blocks>(text, limit, measured);
}

READS_WHOLE_BLOCKS uint32_t HyphenMeasureSsse3(const char *text, uint32_t limit, uint32_t *measured)
{
    return AlignedHyphenMeasure<Sse2Blocks>(text, limit, measured);
}
