// codec/core/scalar/decode.cpp -- the portable decoders: whole groups through lookup tables.
// Every CPU runs them, and the SIMD kernels are checked against them.
#include "codec/core/kernels.h"
#include "codec/core/scalar/vectors.h"

#include <atomic>
#include <string.h>

// The tables place bytes by their position in memory; every target we build is
// little-endian, and a big-endian one must fail loudly rather than decode garbage.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the scalar tables assume a little-endian target"
#endif

// Set in every decode entry of a character outside the alphabet, above the 24 data bits,
// so one test of the four lookups OR'd together rejects a group.
static const uint32_t DECODE_INVALID = 0x01000000u;

// One table per position in a group of four characters. Each holds the character's 6 bits
// already moved to where they land in the 3 decoded bytes (as a little-endian word), so a
// group decodes with four lookups and three ORs.
struct DecodeTables {
    uint32_t at[4][256];
};

static constexpr int ValueOf(int c, int hyphenIsData)
{
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+' || (c == '-' && hyphenIsData)) return 62;
    if (c == '/' || c == '_') return 63;
    return -1;
}

static constexpr DecodeTables MakeDecodeTables(int hyphenIsData)
{
    DecodeTables tables{};
    for (int c = 0; c < 256; ++c) {
        int v = ValueOf(c, hyphenIsData);
        if (v < 0) {
            for (int k = 0; k < 4; ++k) tables.at[k][c] = DECODE_INVALID;
            continue;
        }
        uint32_t u = (uint32_t)v;
        // Byte 0 = a<<2 | b>>4, byte 1 = (b&15)<<4 | c>>2, byte 2 = (c&3)<<6 | d.
        tables.at[0][c] = u << 2;
        tables.at[1][c] = (u >> 4) | (u & 15) << 12;
        tables.at[2][c] = (u >> 2) << 8 | (u & 3) << 22;
        tables.at[3][c] = u << 16;
    }
    return tables;
}

static constexpr DecodeTables DECODE = MakeDecodeTables(1);
// For armoured text, whose caller must see every '-'; only that text brings it into cache.
static constexpr DecodeTables DECODE_NO_HYPHEN = MakeDecodeTables(0);

// The first two characters of a group looked up as one 16-bit index: the text loop is
// short of loads, and this saves one a group. 256 KiB each, so built on first use rather
// than carried in the library; valid text touches about 24 KiB of one.
struct PairTable {
    uint32_t at[65536];
    std::atomic<int> claimed, built;
};

static PairTable PAIRS, PAIRS_NO_HYPHEN;

// 1 when `pairs` may be read. The first caller builds it; any other caller meanwhile gets
// 0 and decodes without it, so no thread waits and no guard code is linked in.
static int PairsReady(PairTable *pairs, const DecodeTables *tables)
{
    if (pairs->built.load(std::memory_order_acquire)) return 1;
    if (pairs->claimed.exchange(1, std::memory_order_relaxed)) return 0;
    for (uint32_t i = 0; i < 65536; ++i) pairs->at[i] = tables->at[0][i & 255] | tables->at[1][i >> 8];
    pairs->built.store(1, std::memory_order_release);
    return 1;
}

static inline uint32_t LoadWord(const uint8_t *in)
{
    uint32_t word;
    memcpy(&word, in, 4);
    return word;
}

// The text kernel's loads may pass the text's NUL within its 64-byte line; a function of
// their own keeps the address sanitizer on the other kernel's.
READS_WHOLE_BLOCKS static inline uint32_t LoadWordInLine(const uint8_t *in)
{
    uint32_t word;
    memcpy(&word, in, 4);
    return word;
}

template <uint32_t (*Load)(const uint8_t *), const DecodeTables &Tables = DECODE,
          const PairTable *Pairs = nullptr>
static inline uint32_t DecodeGroup(const uint8_t *in)
{
    uint32_t word = Load(in);
    if constexpr (Pairs != nullptr)
        return Pairs->at[word & 0xFFFF] | Tables.at[2][(word >> 16) & 0xFF] | Tables.at[3][word >> 24];
    return Tables.at[0][word & 0xFF] | Tables.at[1][(word >> 8) & 0xFF] |
           Tables.at[2][(word >> 16) & 0xFF] | Tables.at[3][word >> 24];
}

// Four groups, each stored as a 4-byte word whose 4th byte the next group overwrites (the
// last one's lands in the room the caller vouched for). Stores before knowing the groups
// are valid: the caller keeps only those that were. Returns the four values OR'd together.
template <uint32_t (*Load)(const uint8_t *), const DecodeTables &Tables = DECODE,
          const PairTable *Pairs = nullptr>
static inline uint32_t DecodeFourGroups(const uint8_t *in, uint8_t *out)
{
    uint32_t v0 = DecodeGroup<Load, Tables, Pairs>(in);
    memcpy(out, &v0, 4);
    uint32_t v1 = DecodeGroup<Load, Tables, Pairs>(in + 4);
    memcpy(out + 3, &v1, 4);
    uint32_t v2 = DecodeGroup<Load, Tables, Pairs>(in + 8);
    memcpy(out + 6, &v2, 4);
    uint32_t v3 = DecodeGroup<Load, Tables, Pairs>(in + 12);
    memcpy(out + 9, &v3, 4);
    return v0 | v1 | v2 | v3;
}

// Groups that fit whole in `outputRoom`, and how many of them may be stored as 4-byte
// words: the word of the last writes one byte past its three, which must be in the room.
static inline uint32_t WideGroups(uint32_t outputRoom)
{
    return outputRoom >= 4 ? (outputRoom - 1) / 3 : 0;
}

// Stores the groups from `in` one at a time until one is not valid or `groups` are done;
// the first `wide` of them (counted from the start of the run) as 4-byte words. Returns
// the groups stored.
static inline uint32_t DecodeSingleGroups(const uint8_t *in, uint8_t *out, uint32_t done,
                                          uint32_t groups, uint32_t wide)
{
    uint32_t first = done;
    while (done < groups) {
        uint32_t v = DecodeGroup<LoadWord>(in);
        if (v & DECODE_INVALID) break;
        if (done < wide) {
            memcpy(out, &v, 4);
        } else {
            out[0] = (uint8_t)v;
            out[1] = (uint8_t)(v >> 8);
            out[2] = (uint8_t)(v >> 16);
        }
        in += 4;
        out += 3;
        done += 1;
    }
    return done - first;
}

// Stops at the first group holding anything but alphabet characters (whitespace and '='
// included): the caller handles that group character by character.
uint32_t DecodeBlocksScalar(const char *text, uint32_t length, uint8_t *output,
                            uint32_t outputRoom, uint32_t *consumed)
{
    const uint8_t *in = (const uint8_t *)text;
    uint32_t groups = length / 4;
    uint32_t wide = WideGroups(outputRoom);
    uint32_t done = 0;

    if (groups > outputRoom / 3) groups = outputRoom / 3;
    if (wide > groups) wide = groups;
    // Four groups a step with one validity test; the step that meets a character of
    // another kind is done again a group at a time below.
    const uint8_t *end = in + wide / 4 * 16;
    while (in != end) {
        if (DecodeFourGroups<LoadWord>(in, output) & DECODE_INVALID) break;
        in += 16;
        output += 12;
    }
    done = (uint32_t)(in - (const uint8_t *)text) / 4;
    done += DecodeSingleGroups(in, output, done, groups, wide);
    *consumed = done * 4;
    return done * 3;
}

// Non-zero when the aligned 16 bytes at `block` hold a zero byte.
READS_WHOLE_BLOCKS static inline uintptr_t BlockHoldsZero(const uint8_t *block)
{
    const AliasedWord *w = (const AliasedWord *)block;
    uintptr_t any = 0;
    for (uint32_t i = 0; i < 16 / sizeof(Word); ++i) any |= HasByteBelow(w[i], 1);
    return any;
}

// Whether a load of 4 or 16 bytes at `in` may go ahead: the 64-byte line of the next
// unread byte may be read (that byte is at most the NUL, and a line never straddles a
// page). A load that reaches into the next line goes on only when the aligned 16 bytes
// that end this line hold no zero: those before `in` are characters already seen (or, at
// the very start, bytes before the text, which at worst stop the loop early), so no NUL
// lies from `in` to the line's end.
READS_WHOLE_BLOCKS static inline int MayLoad(const uint8_t *in, uintptr_t within)
{
    return ((uintptr_t)in & 63) <= within || !BlockHoldsZero((const uint8_t *)((uintptr_t)in | 63) - 15);
}

// The length-given loop with the NUL found by the validity test itself, which rejects it
// like any stray byte. Where a step fails, groups go one at a time up to what stopped it;
// a line break there (LF or CR LF, as line-broken text has between groups) is passed over
// and the next line goes the same way. It stops at anything else, and at the end of the
// room for 4-byte stores.
template <const DecodeTables &Tables, const PairTable *Pairs>
READS_WHOLE_BLOCKS static inline uint32_t DecodeTextWith(const char *text, uint8_t *output,
                                                         uint32_t outputRoom, uint32_t *consumed)
{
    const uint8_t *in = (const uint8_t *)text;
    uint8_t *out = output;
    uint8_t *wideEnd = output + WideGroups(outputRoom) * 3;

    *consumed = 0;
    for (;;) {
        const uint8_t *lineStart = in;
        // Pointers rather than counters: i686 has registers for little more than these two.
        const uint8_t *end = in + (uint32_t)(wideEnd - out) / 12 * 16;
        while (in != end) {
            if (!MayLoad(in, 48)) break;
            if (DecodeFourGroups<LoadWordInLine, Tables, Pairs>(in, out) & DECODE_INVALID) break;
            in += 16;
            out += 12;
        }
        while (out != wideEnd && MayLoad(in, 60)) {
            uint32_t v = DecodeGroup<LoadWordInLine, Tables, Pairs>(in);
            if (v & DECODE_INVALID) break;
            memcpy(out, &v, 4);
            in += 4;
            out += 3;
        }
        // A line break passed over counts only once groups follow it.
        if (in != lineStart) *consumed = (uint32_t)(in - (const uint8_t *)text);
        if (in[0] == '\r' && in[1] == '\n') ++in;
        if (in[0] != '\n') break;
        ++in;
    }
    return (uint32_t)(out - output);
}

READS_WHOLE_BLOCKS uint32_t DecodeTextScalar(const char *text, uint8_t *output,
                                             uint32_t outputRoom, uint32_t *consumed)
{
    if (!PairsReady(&PAIRS, &DECODE)) return DecodeTextWith<DECODE, nullptr>(text, output, outputRoom, consumed);
    return DecodeTextWith<DECODE, &PAIRS>(text, output, outputRoom, consumed);
}

// As DecodeTextScalar, stopping at each '-' as at a stray byte.
READS_WHOLE_BLOCKS uint32_t DecodeArmourTextScalar(const char *text, uint8_t *output,
                                                   uint32_t outputRoom, uint32_t *consumed)
{
    if (!PairsReady(&PAIRS_NO_HYPHEN, &DECODE_NO_HYPHEN))
        return DecodeTextWith<DECODE_NO_HYPHEN, nullptr>(text, output, outputRoom, consumed);
    return DecodeTextWith<DECODE_NO_HYPHEN, &PAIRS_NO_HYPHEN>(text, output, outputRoom, consumed);
}
