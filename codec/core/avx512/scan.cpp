// codec/core/avx512/scan.cpp -- the AVX-512 level's text scans (scan_loop.h over the blocks
// in vectors.h): to the NUL, to the NUL or two hyphens, and the measure to either.
#include "codec/core/avx512/vectors.h"

READS_WHOLE_BLOCKS uint32_t TextSpanAvx512(const char *text, uint32_t limit)
{
    return AlignedSpan<Avx512Blocks, false>(text, limit);
}

READS_WHOLE_BLOCKS uint32_t HyphenSpanAvx512(const char *text, uint32_t limit)
{
    return AlignedHyphenSpan<Avx512Blocks>(text, limit);
}

READS_WHOLE_BLOCKS uint32_t MeasureTextAvx512(const char *text, uint32_t limit, uint32_t *measured)
{
    return AlignedMeasure<Avx512Blocks>(text, limit, measured);
}

READS_WHOLE_BLOCKS uint32_t HyphenMeasureAvx512(const char *text, uint32_t limit, uint32_t *measured)
{
    return AlignedHyphenMeasure<Avx512Blocks>(text, limit, measured);
}
