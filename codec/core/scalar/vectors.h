// codec/core/scalar/vectors.h -- the scalar level's vectors: machine words taken as rows of
// bytes, so that a scan looks at a word's bytes in a few integer operations.
#pragma once
#include <stdint.h>

namespace {

// Words read through this type may alias the text's bytes.
typedef uintptr_t __attribute__((may_alias)) AliasedWord;

typedef uintptr_t Word;
const Word BYTE_ONES = ~(Word)0 / 0xFF;
const Word BYTE_HIGHS = BYTE_ONES * 0x80;

// Non-zero when some byte of `word` is below `limit` (limit <= 128).
inline Word HasByteBelow(Word word, unsigned limit)
{
    return (word - BYTE_ONES * limit) & ~word & BYTE_HIGHS;
}

// Non-zero when some byte of `word` is `byte`.
inline Word HasByte(Word word, unsigned byte)
{
    return HasByteBelow(word ^ (BYTE_ONES * byte), 1);
}

inline int IsAligned(const void *p, uintptr_t boundary)
{
    return ((uintptr_t)p & (boundary - 1)) == 0;
}

}  // namespace
