// codec/core/text_loads.h -- the byte loads, the look for the NUL ahead and the alphabet
// tables the vector decoders share. No vector code here, and every function static inline,
// so each kernel file (compiled with its own flags) keeps its own copy and none is ever taken
// from a file with wider instructions.
#pragma once
#include "codec/core/kernels.h"

#include <stdint.h>

// The standard alphabet by nibbles: a byte belongs to it exactly when the entries of its
// low and its high nibble share no bit. Each high nibble's entry names the bits whose low
// nibbles it takes no character at: 0x08 for 2 (all but B and F), 0x05 for 3 (A to F),
// 0x10 for 4 and 6 (0), 0x04 for 5 and 7 (B to F), 0x80 for the rest (every low nibble).
// The low table is kept complemented and looked up by the whole byte: a byte from 0x80 up
// then reads 0, which leaves its high nibble's entry standing, so no mask of the low
// nibble is needed. Bits 0-3 of the complemented low entries also pick the shift: XORed
// with the high nibble they give '+' and '/', capitals and small letters indexes of their
// own, so '/' needs no compare of its own. The low entries before the complement: 0x98,
// 0x88 (1 to 9), 0x89, 0x85, 0x8C (C to E), 0x84.
static const int8_t STANDARD_NOT_LOW[16] = {0x67, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77,
                                            0x77, 0x77, 0x76, 0x7A, 0x73, 0x73, 0x73, 0x7B};
static const int8_t STANDARD_HIGH[16] = {-0x80, -0x80, 0x08, 0x05, 0x10, 0x04, 0x10, 0x04,
                                         -0x80, -0x80, -0x80, -0x80, -0x80, -0x80, -0x80, -0x80};
// What to add to a standard character for its value, by its high nibble XOR bits 0-3 of
// its complemented low entry.
static const int8_t STANDARD_SHIFT[16] = {-71, -71, -65, -65, 4, -71, 0, -65, 19, 16, 0, 0, -71, -71, -65, -65};

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

// Without a length: when fewer than 128 of the characters known to be readable are left
// from `position`, the text goes on into the next page unless its NUL is among them (which
// `span`, the kernel's NUL scan, looks for). 128 rather than a round's characters, so that
// a whole line of 76 and its separator always fit.
static inline void ReadFurther(const char *text, uint32_t position, uint32_t *readable, int *endKnown,
                               SpanKernel span)
{
    if (*endKnown || *readable - position >= 128) return;
    uint32_t rest = *readable - position, found = rest ? span(text + position, rest) : 0;
    if (found == rest) {
        *readable += PAGE_BYTES;
    } else {
        *readable = position + found;
        *endKnown = 1;
    }
}
