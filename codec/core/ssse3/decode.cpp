// codec/core/ssse3/decode.cpp -- the SSSE3 decoders: the shared decode loop (decode_loop.h)
// over 16-byte vectors. Plain standard-alphabet text goes four vectors a round with one
// validity test; line-broken text through lines.cpp; anything else a vector at a time.
#include "codec/core/decode_loop.h"
#include "codec/core/ssse3/vectors.h"

uint32_t DecodeBlocksSsse3(const char *text, uint32_t length, uint8_t *output,
                           uint32_t outputRoom, uint32_t *consumed)
{
    return DecodeVectors<Ssse3, false, false>(text, length, output, outputRoom, consumed);
}

uint32_t DecodeTextSsse3(const char *text, uint8_t *output, uint32_t outputRoom, uint32_t *consumed)
{
    return DecodeVectors<Ssse3, true, false>(text, 0, output, outputRoom, consumed);
}

uint32_t DecodeArmourTextSsse3(const char *text, uint8_t *output, uint32_t outputRoom, uint32_t *consumed)
{
    return DecodeVectors<Ssse3, true, true>(text, 0, output, outputRoom, consumed);
}
