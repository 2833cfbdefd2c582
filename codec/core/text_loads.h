// codec/core/text_loads.h -- the byte loads the SSSE3 and AVX2 decoders share. No vector
// code here, and every function static inline, so each kernel file (compiled with its own
// flags) keeps its own copy and none is ever taken from a file with wider instructions.
#pragma once
#include <stdint.h>

// Page size on every target we build for; a text's NUL is looked for a page at a time.
static const uint32_t PAGE_BYTES = 4096;

// A text byte. Without a length the decoder may read bytes after the NUL that share a page
// with the text, which is harmless but outside the text's allocation: such loads are
// hidden from the address sanitizer.
template <bool untilNul>
static inline uint32_t LoadByte(const char *p)
{
    if (!untilNul) return (uint8_t)*p;
    uint32_t b;
    __asm__("movzbl %1, %0" : "=r"(b) : "m"(*p));
    return b;
}

// A separator's bytes at `p`, the first in the low byte.
template <bool untilNul>
static inline uint32_t SeparatorAt(const char *p, uint32_t separatorBytes)
{
    return separatorBytes == 2 ? LoadByte<untilNul>(p) | LoadByte<untilNul>(p + 1) << 8 : LoadByte<untilNul>(p);
}

// The two bytes at `p` in one load, the first in the low byte.
template <bool untilNul>
static inline uint32_t LoadPair(const char *p)
{
    uint16_t pair;
    if (untilNul) {
        uint32_t b;
        __asm__("movzwl %1, %0" : "=r"(b) : "m"(*(const char(*)[2])p));
        return b;
    }
    __builtin_memcpy(&pair, p, 2);
    return pair;
}
