// codec/core/avx2/decode.cpp -- the AVX2 decoders: the shared decode loop (decode_loop.h)
// over 32-byte vectors. Plain standard-alphabet text goes four vectors a round, one validity
// test each; line-broken text through lines.cpp; anything else a vector at a time, with
// whitespace dropped per 16-byte lane.
#include "codec/core/avx2/vectors.h"
#include "codec/core/decode_loop.h"

uint32_t DecodeBlocksAvx2(const char *text, uint32_t length, uint8_t *output,
                          uint32_t outputRoom, uint32_t *consumed)
{
    return DecodeVectors<Avx2, false, false>(text, length, output, outputRoom, consumed);
}

uint32_t DecodeTextAvx2(const char *text, uint8_t *output, uint32_t outputRoom, uint32_t *consumed)
{
    return DecodeVectors<Avx2, true, false>(text, 0, output, outputRoom, consumed);
}

uint32_t DecodeArmourTextAvx2(const char *text, uint8_t *output, uint32_t outputRoom, uint32_t *consumed)
{
    return DecodeVectors<Avx2, true, true>(text, 0, output, outputRoom, consumed);
}
