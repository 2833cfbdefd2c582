// codec/core/shared.h -- what the kernels of every CPU level share: the alphabet, the page
// size their text scans rely on, the whitespace the decoder skips, and the table and scan
// behind a vector decoder's gathering of values across whitespace. The code here is compiled
// once, in shared.cpp, with the baseline flags, so no level's instructions reach it.
#pragma once
#include <stdint.h>

// The standard alphabet in order of value; aligned for the widest vector load of it.
alignas(64) inline constexpr char BASE64_ALPHABET[65] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Page size on every target we build for; larger pages are multiples of it, so a block
// aligned to its size never straddles a page either. A text's NUL is looked for a page at
// a time.
inline constexpr uint32_t PAGE_BYTES = 4096;

// The whitespace the decoder skips: TAB, LF, FF, CR and space.
static inline int IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// The aligned-block scans read bytes the address sanitizer would report all the same (see
// SpanKernel in kernels.h); only those functions carry this.
#if defined(__clang__) || defined(__GNUC__)
#define READS_WHOLE_BLOCKS __attribute__((no_sanitize("address")))
#else
#error "the text scans need a compiler with no_sanitize"
#endif

// The characters of `text` before its NUL or the first of two hyphens in a row, at most
// `limit`, from `scan`, a span that stops at the NUL and at every '-'. Every armour line
// begins with five hyphens, and base64url data seldom holds two in a row, so its single
// hyphens cost no stop. May look at the character after `limit` (never past the NUL).
template <class Scan>
inline uint32_t SpanToHyphenPair(const char *text, uint32_t limit, Scan scan)
{
    uint32_t n = 0;
    for (;;) {
        n += scan(text + n, limit - n);
        if (n >= limit || text[n] != '-' || text[n + 1] == '-') return n;
        ++n;
    }
}

// As SpanToHyphenPair, with `measure` a measure that stops at the NUL and at every '-':
// *measured gets the whitespace and '=' of the characters returned.
template <class Measure>
inline uint32_t MeasureToHyphenPair(const char *text, uint32_t limit, uint32_t *measured, Measure measure)
{
    uint32_t n = 0, count = 0;
    for (;;) {
        uint32_t part = 0;
        n += measure(text + n, limit - n, &part);
        count += part;
        if (n >= limit || text[n] != '-' || text[n + 1] == '-') break;
        ++n;    // a single '-' is data
    }
    *measured = count;
    return n;
}

// Given that text[0, position) holds only alphabet characters and whitespace, of which the
// last `undecoded` data characters were not decoded, returns where the decoded groups end
// (just after their last character).
uint32_t EndOfDecodedGroups(const char *text, uint32_t position, uint32_t undecoded);

// Row m lists the positions of the set bits of the 8-bit mask m in order, padded with
// 0x80 (a zero under pshufb); COMPACT_COUNT[m] is how many bits m has.
extern const uint8_t (*const COMPACT_SHUFFLE)[8];
extern const uint8_t *const COMPACT_COUNT;
