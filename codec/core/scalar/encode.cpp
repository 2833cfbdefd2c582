// codec/core/scalar/encode.cpp -- the scalar encoder: each 12 bits of input to their two
// characters in one lookup. Every CPU runs it, and it takes the groups the vector encoders
// leave at the edges.
#include "codec/core/kernels.h"

#include <string.h>

// 12 bits of input -> the two characters they encode, first character in the low byte,
// so a 16-bit store writes them in order.
struct EncodePairTable {
    uint16_t pair[4096];
};

static constexpr EncodePairTable MakeEncodePairs()
{
    EncodePairTable table{};
    for (int i = 0; i < 4096; ++i)
        table.pair[i] = (uint16_t)((uint8_t)BASE64_ALPHABET[i >> 6] | (uint8_t)BASE64_ALPHABET[i & 63] << 8);
    return table;
}

static constexpr EncodePairTable ENCODE_PAIRS = MakeEncodePairs();

static inline uint32_t LoadBigEndian32(const uint8_t *p)
{
    uint32_t word;
    memcpy(&word, p, 4);
    return __builtin_bswap32(word);
}

// The group's 24 bits sit in the top of `word`; writes its 4 characters.
static inline void StoreGroup(uint32_t word, char *out)
{
    uint32_t chars = (uint32_t)ENCODE_PAIRS.pair[word >> 20] |
                     (uint32_t)ENCODE_PAIRS.pair[(word >> 8) & 0xFFF] << 16;
    memcpy(out, &chars, 4);
}

uint32_t EncodeBlocksScalar(const uint8_t *input, uint32_t blocks, char *output)
{
    uint32_t left = blocks;
    // Four groups a step, each read as one 4-byte load; the last load reaches one byte
    // into the next group, so the loop keeps at least one group in reserve.
    while (left > 4) {
        StoreGroup(LoadBigEndian32(input), output);
        StoreGroup(LoadBigEndian32(input + 3), output + 4);
        StoreGroup(LoadBigEndian32(input + 6), output + 8);
        StoreGroup(LoadBigEndian32(input + 9), output + 12);
        input += 12;
        output += 16;
        left -= 4;
    }
    while (left > 0) {
        uint32_t word = (uint32_t)input[0] << 24 | (uint32_t)input[1] << 16 |
                        (uint32_t)input[2] << 8;
        StoreGroup(word, output);
        input += 3;
        output += 4;
        left -= 1;
    }
    return blocks;
}
