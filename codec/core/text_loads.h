// codec/core/text_loads.h -- the byte loads, the scalar steps and the alphabet tables the
// SSSE3 and AVX2 decoders share. No vector code here, and every function static inline, so
// each kernel file (compiled with its own flags) keeps its own copy and none is ever taken
// from a file with wider instructions.
#pragma once
#include "codec/core/kernels.h"

#include <stdint.h>
#include <type_traits>

// Page size on every target we build for; a text's NUL is looked for a page at a time.
static const uint32_t PAGE_BYTES = 4096;

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

// Lines of 64 or 76 characters, each followed by one separator of one or two whitespace
// bytes (PEM's LF, MIME's CR LF).
struct LineShape {
    uint32_t line, separatorBytes, separator;
};

// Whether the text at `at` looks like such lines: its data ends `rest` characters in, at a
// group's end, and a separator follows there and again one whole line later. `left`
// counts the characters that may be read from `at`. 1 with *shape filled, or 0.
template <bool untilNul>
static inline int FindLineShape(const char *at, uint32_t rest, uint32_t left, LineShape *shape)
{
    if (rest % 4 != 0 || left - rest < 3 || !IsSpace((char)LoadByte<untilNul>(at + rest))) return 0;
    uint32_t separatorBytes = IsSpace((char)LoadByte<untilNul>(at + rest + 1)) ? 2 : 1;
    uint32_t separator = SeparatorAt<untilNul>(at + rest, separatorBytes);
    uint32_t next = rest + separatorBytes;
    shape->separatorBytes = separatorBytes;
    shape->separator = separator;
    static const uint32_t LINES[] = {76, 64};
    for (uint32_t line : LINES) {
        if (left - next >= line + separatorBytes &&
            SeparatorAt<untilNul>(at + next + line, separatorBytes) == separator) {
            shape->line = line;
            return 1;
        }
    }
    return 0;
}

// Calls `run(line, separatorBytes)` with both as compile-time constants for `shape`, so
// that a kernel's line loop is built once for each of the four shapes it may meet.
template <class Run>
static inline int ForLineShape(const LineShape &shape, Run run)
{
    using Bytes2 = std::integral_constant<uint32_t, 2>;
    using Bytes1 = std::integral_constant<uint32_t, 1>;
    using Line76 = std::integral_constant<uint32_t, 76>;
    using Line64 = std::integral_constant<uint32_t, 64>;
    if (shape.separatorBytes == 2) return shape.line == 76 ? run(Line76(), Bytes2()) : run(Line64(), Bytes2());
    return shape.line == 76 ? run(Line76(), Bytes1()) : run(Line64(), Bytes1());
}

// How many whole lines of LINE characters and a separator of SEPARATOR_BYTES a line loop
// may take from `position`: as many as may be read, both separator bytes being read
// whatever its length (so a line needs one byte more than it may have), and as many as
// fit in the output's room, a loop storing up to `storeBeyond` bytes past a line's last.
template <uint32_t LINE, uint32_t SEPARATOR_BYTES>
static inline uint32_t LinesInReach(uint32_t length, uint32_t position, uint32_t outputRoom, uint32_t written,
                                    uint32_t storeBeyond)
{
    const uint32_t step = LINE + SEPARATOR_BYTES, bytes = LINE / 4 * 3, room = bytes + storeBeyond;
    uint32_t lines = length - position >= LINE + 2 ? (length - position - LINE - 2) / step + 1 : 0;
    uint32_t fit = outputRoom - written >= room ? (outputRoom - written - room) / bytes + 1 : 0;
    return lines < fit ? lines : fit;
}

// Runs `runLines(readable)` (which decodes whole lines while they may be read and returns
// 1 when it stopped only for want of characters or room) again as long as a text without a
// length goes on into further pages, so that lines crossing a page need not leave the loop.
template <bool untilNul, class RunLines>
static inline void RunLinesAcrossPages(const char *text, uint32_t *readable, int *endKnown, uint32_t *position,
                                       SpanKernel span, RunLines runLines)
{
    for (;;) {
        uint32_t from = *position;
        int ranOut = runLines(*readable);
        if (!untilNul || !ranOut || *position == from) break;
        uint32_t before = *readable;
        ReadFurther(text, *position, readable, endKnown, span);
        if (*readable == before) break;
    }
}
