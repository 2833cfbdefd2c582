// codec/core/avx512/scan.cpp -- the AVX-512 level's text scans (scan_loop.h) over 64-byte
// blocks, two to an aligned 128 bytes: to the NUL, to the NUL or a '-', and the measure,
// with every test in the mask registers.
#include "codec/core/scan_loop.h"

#include <immintrin.h>

namespace {

struct Avx512Blocks {
    typedef __m512i Vector;
    typedef uint64_t Mask;
    static const uint32_t BYTES = 64, LINE = 128;
    // Each byte lane counts at most 2 a line.
    static const uint32_t LINES_PER_SUM = 127;

    READS_WHOLE_BLOCKS static __m512i Load(const char *block) { return _mm512_load_si512((const void *)block); }
    static __m512i Zero(void) { return _mm512_setzero_si512(); }

    // Zero exactly in the bytes that end a span.
    template <bool hyphen>
    static __m512i Stops(__m512i bytes)
    {
        return hyphen ? _mm512_min_epu8(bytes, _mm512_xor_si512(bytes, _mm512_set1_epi8('-'))) : bytes;
    }

    template <bool hyphen>
    READS_WHOLE_BLOCKS static Mask StopMask(const char *block)
    {
        __m512i stops = Stops<hyphen>(Load(block));
        return (Mask)_mm512_testn_epi8_mask(stops, stops);
    }

    template <bool hyphen>
    READS_WHOLE_BLOCKS static int LineHasStop(const char *line)
    {
        __m512i any = _mm512_min_epu8(Stops<hyphen>(Load(line)), Stops<hyphen>(Load(line + 64)));
        __mmask64 zero = _mm512_testn_epi8_mask(any, any);
        return !_kortestz_mask64_u8(zero, zero);
    }

    READS_WHOLE_BLOCKS static int LineHasNul(const char *line) { return LineHasStop<false>(line); }

    static __mmask64 Fillers(__m512i bytes)
    {
        // The zero-masking broadcast: gcc's plain one starts from an "undefined" register its
        // own warnings then call uninitialized.
        const __m512i spaces = _mm512_maskz_broadcast_i32x4(
            0xFFFF, _mm_setr_epi8(' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, '\f', '\r', 0, 0));
        return _kor_mask64(_mm512_cmpeq_epi8_mask(_mm512_shuffle_epi8(spaces, bytes), bytes),
                           _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('=')));
    }

    static Mask ZeroMask(__m512i bytes) { return (Mask)_mm512_testn_epi8_mask(bytes, bytes); }
    static Mask FillerMask(__m512i bytes) { return (Mask)Fillers(bytes); }
    static __m512i AddFillers(__m512i lanes, __m512i bytes)
    {
        return _mm512_mask_sub_epi8(lanes, Fillers(bytes), lanes, _mm512_set1_epi8(-1));
    }

    static uint32_t SumLanes(__m512i lanes)
    {
        __m512i sums = _mm512_sad_epu8(lanes, Zero());
        __m256i half = _mm256_add_epi64(_mm512_maskz_extracti64x4_epi64(0xF, sums, 0),
                                        _mm512_maskz_extracti64x4_epi64(0xF, sums, 1));
        __m128i quarter = _mm_add_epi64(_mm256_castsi256_si128(half), _mm256_extracti128_si256(half, 1));
        return (uint32_t)_mm_cvtsi128_si32(quarter) + (uint32_t)_mm_cvtsi128_si32(_mm_srli_si128(quarter, 8));
    }
};

}  // namespace

READS_WHOLE_BLOCKS uint32_t TextSpanAvx512(const char *text, uint32_t limit)
{
    return AlignedSpan<Avx512Blocks, false>(text, limit);
}

READS_WHOLE_BLOCKS uint32_t HyphenSpanAvx512(const char *text, uint32_t limit)
{
    return AlignedSpan<Avx512Blocks, true>(text, limit);
}

READS_WHOLE_BLOCKS uint32_t MeasureTextAvx512(const char *text, uint32_t limit, uint32_t *measured)
{
    return AlignedMeasure<Avx512Blocks>(text, limit, measured);
}
