// codec/core/scalar/scan.cpp -- the scalar level's text scans: to the NUL, to the NUL or two
// hyphens, and the measure to either, a word at a time where the words hold nothing of
// interest.
#include "codec/core/kernels.h"
#include "codec/core/scalar/vectors.h"

namespace {

const uint32_t SCAN_BLOCK = 4 * sizeof(Word);

// What ends a scan; each also knows whether a word holds one.
struct NulStops {
    static int At(char c) { return c == '\0'; }
    static Word In(Word word) { return HasByteBelow(word, 1); }
};

struct NulOrHyphenStops {
    static int At(char c) { return c == '\0' || c == '-'; }
    static Word In(Word word) { return HasByteBelow(word, 1) | HasByte(word, '-'); }
};

// The characters before the first stop, at most `limit`: whole aligned blocks of four
// words where they hold none (see READS_WHOLE_BLOCKS).
template <class Stops>
READS_WHOLE_BLOCKS inline uint32_t WordSpan(const char *text, uint32_t limit)
{
    uint32_t n = 0;
    while (n < limit && !IsAligned(text + n, SCAN_BLOCK)) {
        if (Stops::At(text[n])) return n;
        ++n;
    }
    while (limit - n >= SCAN_BLOCK) {
        const AliasedWord *w = (const AliasedWord *)(text + n);
        if (Stops::In(w[0]) | Stops::In(w[1]) | Stops::In(w[2]) | Stops::In(w[3])) break;
        n += SCAN_BLOCK;
    }
    while (n < limit && !Stops::At(text[n])) ++n;
    return n;
}

// Non-zero when some byte of `word` is whitespace, '=' or the NUL (or another control
// character, which the byte loop then sorts out), or with `hyphen` a '-'.
template <bool hyphen>
inline Word HasFillerOrStop(Word word)
{
    return HasByteBelow(word, '!') | HasByte(word, '=') | (hyphen ? HasByte(word, '-') : 0);
}

}  // namespace

READS_WHOLE_BLOCKS uint32_t TextSpanScalar(const char *text, uint32_t limit)
{
    return WordSpan<NulStops>(text, limit);
}

READS_WHOLE_BLOCKS uint32_t HyphenSpanScalar(const char *text, uint32_t limit)
{
    return SpanToHyphenPair(text, limit, [](const char *from, uint32_t most) {
        return WordSpan<NulOrHyphenStops>(from, most);
    });
}

// The measure a word at a time where the words hold nothing of interest; with `hyphen` it
// stops at the first '-' as well.
template <bool hyphen>
READS_WHOLE_BLOCKS inline uint32_t WordMeasure(const char *text, uint32_t limit, uint32_t *measured)
{
    uint32_t n = 0, count = 0;

    while (n < limit) {
        // Most of a Base64 text holds neither whitespace, nor '=', nor the NUL: skip such
        // blocks and words whole, and look at single characters only in the rest.
        const char *p = text + n;
        if (IsAligned(p, SCAN_BLOCK)) {
            const char *blocksEnd = p + (limit - n) / SCAN_BLOCK * SCAN_BLOCK;
            while (p != blocksEnd) {
                const AliasedWord *w = (const AliasedWord *)p;
                if (HasFillerOrStop<hyphen>(w[0]) | HasFillerOrStop<hyphen>(w[1]) | HasFillerOrStop<hyphen>(w[2]) |
                    HasFillerOrStop<hyphen>(w[3]))
                    break;
                p += SCAN_BLOCK;
            }
            n = (uint32_t)(p - text);
            if (n == limit) break;
        }
        if (IsAligned(p, sizeof(Word)) && limit - n >= sizeof(Word) &&
            !HasFillerOrStop<hyphen>(*(const AliasedWord *)p)) {
            n += sizeof(Word);
            continue;
        }
        char c = *p;
        if (!c || (hyphen && c == '-')) break;
        count += IsSpace(c) || c == '=';
        ++n;
    }
    *measured = count;
    return n;
}

READS_WHOLE_BLOCKS uint32_t MeasureTextScalar(const char *text, uint32_t limit, uint32_t *measured)
{
    return WordMeasure<false>(text, limit, measured);
}

READS_WHOLE_BLOCKS uint32_t HyphenMeasureScalar(const char *text, uint32_t limit, uint32_t *measured)
{
    return MeasureToHyphenPair(text, limit, measured, [](const char *from, uint32_t most, uint32_t *part) {
        return WordMeasure<true>(from, most, part);
    });
}
