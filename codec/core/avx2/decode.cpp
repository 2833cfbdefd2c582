// codec/core/avx2/decode.cpp -- 32-byte kernels for CPUs with AVX2. Plain standard-alphabet text
// goes four vectors a round, one validity test each; whitespace, '-' and '_' leave that loop
// for the SSSE3 method on two lanes, dropping whitespace per 16-byte lane with the shared
// table; line-broken text has its own loop in avx2/lines.cpp.
#include "codec/core/avx2/vectors.h"

// Four groups per 128-bit lane, each as b1 b0 b2 b1 in its 32-bit lane, to 16 characters.
static inline __m256i EncodeVector(__m256i in, __m256i offsets)
{
    __m256i first = _mm256_mulhi_epu16(_mm256_and_si256(in, _mm256_set1_epi32(0x0FC0FC00)),
                                       _mm256_set1_epi32(0x04000040));
    __m256i second = _mm256_mullo_epi16(_mm256_and_si256(in, _mm256_set1_epi32(0x003F03F0)),
                                        _mm256_set1_epi32(0x01000010));
    __m256i sextets = _mm256_or_si256(first, second);
    __m256i index = _mm256_subs_epu8(sextets, _mm256_set1_epi8(51));
    index = _mm256_sub_epi8(index, _mm256_cmpgt_epi8(sextets, _mm256_set1_epi8(25)));
    return _mm256_add_epi8(sextets, _mm256_shuffle_epi8(offsets, index));
}

uint32_t EncodeBlocksAvx2(const uint8_t *input, uint32_t blocks, char *output)
{
    // Per 32-bit lane the bytes of one group as b1 b0 b2 b1: each 6-bit field then sits in
    // one 16-bit half where a multiply can move it into place. The vector is loaded from 4
    // bytes before its groups, so the low lane finds its 12 bytes at offset 4, the high
    // lane at 0: one 32-byte load serves both.
    const __m256i spread = _mm256_setr_epi8(5, 4, 6, 5, 8, 7, 9, 8, 11, 10, 12, 11, 14, 13, 15, 14,
                                            1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
    // Offsets to ASCII by range: 0..25 +65, 26..51 +71, 52..61 -4, 62 -19, 63 -16.
    const __m256i offsets = _mm256_setr_epi8(65, 71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 0, 0,
                                             65, 71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 0, 0);
    uint32_t done = 0;

    // The loads read from 4 bytes before the groups up to 4 after the 8th, so the first
    // groups go to the scalar kernel and 10 groups must be left for each step. Up to 7 more
    // go there when that puts every store of 32 characters inside a 32-byte block: a store
    // across a cache line's end costs two.
    if (blocks < 12) return 0;
    uint32_t lead = 2;
    if (((uintptr_t)output & 3) == 0) lead += (uint32_t)((0 - ((uintptr_t)output + 8)) & 31) / 4;
    if (blocks < lead + 10) lead = 2;
    done = EncodeBlocksScalar(input, lead, output);
    for (; blocks - done >= 18; done += 16) {
        const uint8_t *from = input + done * 3 - 4;
        __m256i in0 = _mm256_shuffle_epi8(_mm256_loadu_si256((const __m256i *)from), spread);
        _mm256_storeu_si256((__m256i *)(output + done * 4), EncodeVector(in0, offsets));
        // The second vector only after the first is stored: interleaved, the two need more
        // registers than 32-bit code has, and gcc then reads four constants from the stack
        // for every vector in place of three.
        __asm__ volatile("" ::: "memory");
        __m256i in1 = _mm256_shuffle_epi8(_mm256_loadu_si256((const __m256i *)(from + 24)), spread);
        _mm256_storeu_si256((__m256i *)(output + done * 4 + 32), EncodeVector(in1, offsets));
    }
    for (; blocks - done >= 10; done += 8) {
        const uint8_t *from = input + done * 3 - 4;
        __m256i in = _mm256_shuffle_epi8(_mm256_loadu_si256((const __m256i *)from), spread);
        _mm256_storeu_si256((__m256i *)(output + done * 4), EncodeVector(in, offsets));
    }
    return done;
}

// Bit masks of the characters that carry no data ('-' and '_' do), from two nibble
// lookups: the low nibble names the high-nibble classes in which it is not one.
static inline uint32_t NonDataMask(__m256i low, __m256i high)
{
    const __m256i LOW_CLASS = _mm256_setr_epi8(
        0x25, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x23, 0x3A, 0x3B, 0x3A, 0x3B, 0x32,
        0x25, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x23, 0x3A, 0x3B, 0x3A, 0x3B, 0x32);
    const __m256i HIGH_CLASS = _mm256_setr_epi8(
        0x20, 0x20, 0x01, 0x02, 0x04, 0x08, 0x04, 0x10, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
        0x20, 0x20, 0x01, 0x02, 0x04, 0x08, 0x04, 0x10, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20);
    __m256i classes = _mm256_and_si256(_mm256_shuffle_epi8(LOW_CLASS, low),
                                       _mm256_shuffle_epi8(HIGH_CLASS, high));
    return ~(uint32_t)_mm256_movemask_epi8(_mm256_cmpeq_epi8(classes, _mm256_setzero_si256()));
}

// TAB LF FF CR and space: a byte is whitespace when the table entry at its low nibble
// equals the byte itself (bytes from 0x80 up read 0 and never match).
static inline uint32_t SpaceMask(__m256i c)
{
    const __m256i SPACES = _mm256_setr_epi8(0x20, -1, -1, -1, -1, -1, -1, -1, -1, 0x09, 0x0A, -1, 0x0C, 0x0D, -1, -1,
                                            0x20, -1, -1, -1, -1, -1, -1, -1, -1, 0x09, 0x0A, -1, 0x0C, 0x0D, -1, -1);
    return (uint32_t)_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_shuffle_epi8(SPACES, c), c));
}

// 6-bit values of alphabet characters (others give garbage). The offset comes from the
// high nibble, except for '+' '-' '/' (by their low nibble) and '_' (its own entry 8).
static inline __m256i Values(__m256i c, __m256i low, __m256i high)
{
    const __m256i OFFSETS = _mm256_setr_epi8(0, 0, 0, 4, -65, -65, -71, -71, -32, 0, 0, 19, 0, 17, 0, 16,
                                             0, 0, 0, 4, -65, -65, -71, -71, -32, 0, 0, 19, 0, 17, 0, 16);
    __m256i index = _mm256_max_epu8(high, _mm256_and_si256(_mm256_cmpeq_epi8(high, _mm256_set1_epi8(2)), low));
    index = _mm256_add_epi8(index, _mm256_and_si256(_mm256_cmpeq_epi8(c, _mm256_set1_epi8('_')),
                                                    _mm256_set1_epi8(3)));
    return _mm256_add_epi8(c, _mm256_shuffle_epi8(OFFSETS, index));
}

// Stores the bytes of a 16-byte lane whose bit is set in `keep` contiguously at `to` (16
// bytes there must be writable) and returns how many.
static inline uint32_t Compact(__m128i values, uint32_t keep, uint8_t *to)
{
    uint32_t low = keep & 0xFF, high = keep >> 8 & 0xFF;
    __m128i order = _mm_unpacklo_epi64(
        _mm_loadl_epi64((const __m128i *)COMPACT_SHUFFLE[low]),
        _mm_add_epi8(_mm_loadl_epi64((const __m128i *)COMPACT_SHUFFLE[high]), _mm_set1_epi8(8)));
    __m128i packed = _mm_shuffle_epi8(values, order);
    _mm_storel_epi64((__m128i *)to, packed);
    _mm_storel_epi64((__m128i *)(to + COMPACT_COUNT[low]), _mm_srli_si128(packed, 8));
    return COMPACT_COUNT[low] + COMPACT_COUNT[high];
}

static const uint32_t HELD_DRAIN = 256;

// Decodes the whole vectors of held values and moves the rest (fewer than 32) to the
// front. Returns 0 when the output ran out of room first; then only the count matters.
static inline int DrainHeld(uint8_t *held, uint32_t *heldCount, uint8_t *output,
                            uint32_t *written, uint32_t outputRoom)
{
    uint32_t used = 0;
    int room = 1;
    for (; *heldCount - used >= 32; used += 32) {
        if (outputRoom - *written < 32) {
            room = 0;
            break;
        }
        _mm256_storeu_si256((__m256i *)(output + *written), Pack(_mm256_loadu_si256((const __m256i *)(held + used))));
        *written += 24;
    }
    _mm256_storeu_si256((__m256i *)held, _mm256_loadu_si256((const __m256i *)(held + used)));
    *heldCount -= used;
    return room;
}

// Plain text of the standard alphabet from *position, 128 characters a round for as many
// of `rounds` as it goes; returns the rounds left, non-zero when one held another byte.
// A function of its own, with the tables held, so that 32-bit code has them in registers:
// inlined, gcc keeps constants of DecodeAvx2's other steps in two, and left to itself,
// the packing constants, and reads a table from the stack for every vector instead.
template <bool untilNul>
static __attribute__((noinline)) uint32_t DecodeRounds(const char *text, uint32_t *position, uint8_t *output,
                                                       uint32_t *written, uint32_t rounds)
{
    StandardTables tables = LoadStandardTables();
    const char *in = text + *position;
    uint8_t *out = output + *written;
    for (; rounds != 0; --rounds) {
        HoldTables(tables);
        if (!DecodeStandard(LoadText<untilNul>(in), out, tables) ||
            !DecodeStandard(LoadText<untilNul>(in + 32), out + 24, tables) ||
            !DecodeStandard(LoadText<untilNul>(in + 64), out + 48, tables) ||
            !DecodeStandard(LoadText<untilNul>(in + 96), out + 72, tables))
            break;
        in += 128;
        out += 96;
    }
    *position = (uint32_t)(in - text);
    *written = (uint32_t)(out - output);
    return rounds;
}

// Plain text in rounds of four vectors (DecodeRounds); anything else, one vector at a
// time: whitespace is dropped and the values gathered, and lines go through their own
// loop. Without a length (`untilNul`), `length` is ignored and the NUL is looked for
// a page at a time, just before the decoding reaches the page's end. With `hyphenStops`
// every '-' is left to the caller, which alone knows where an armour line may begin.
template <bool untilNul, bool hyphenStops = false>
static uint32_t DecodeAvx2(const char *text, uint32_t length, uint8_t *output, uint32_t outputRoom,
                           uint32_t *consumed)
{
    // Values of data characters gathered across whitespace. They are decoded only once
    // many have gathered: a load of a vector just written in pieces would wait for the
    // pieces to reach the cache, and after a few hundred values they have.
    uint8_t held[HELD_DRAIN + 2 * 32];
    uint32_t heldCount = 0, position = 0, written = 0, plainFrom = 0;
    // Characters that may be read: the length, or the rest of the pages known to hold the
    // text until the NUL has been found.
    uint32_t readable = untilNul ? PAGE_BYTES - (uint32_t)((uintptr_t)text & (PAGE_BYTES - 1)) : length;
    int endKnown = !untilNul, full = 0;

    for (;;) {
        if (untilNul) ReadFurther(text, position, &readable, &endKnown, TextSpanAvx2);
        if (heldCount == 0 && position >= plainFrom) {
            uint32_t room = outputRoom - written;
            uint32_t rounds = (readable - position) / 128, fit = room >= 104 ? (room - 8) / 96 : 0;
            rounds = rounds < fit ? rounds : fit;
            if (rounds != 0) rounds = DecodeRounds<untilNul>(text, &position, output, &written, rounds);
            // Stopped by a byte outside the standard alphabet: the round goes the slow way.
            if (rounds != 0) plainFrom = position + 128;
        }
        if (!endKnown && readable - position < 128) continue;
        if (readable - position < 32 || full) break;
        __m256i c = LoadText<untilNul>(text + position);
        // The plain rounds and the line loop take the standard alphabet only, so this is
        // the one place a '-' would be taken as data.
        if (hyphenStops && _mm256_movemask_epi8(_mm256_cmpeq_epi8(c, _mm256_set1_epi8('-')))) break;
        __m256i low = _mm256_and_si256(c, _mm256_set1_epi8(0x0F));
        __m256i high = _mm256_and_si256(_mm256_srli_epi32(c, 4), _mm256_set1_epi8(0x0F));
        uint32_t nonData = NonDataMask(low, high);
        __m256i values = Values(c, low, high);
        if (nonData != 0 && heldCount == 0 &&
            DecodeLinesAvx2<untilNul>(text, &readable, &endKnown, &position, output, outputRoom, &written, nonData,
                                      &values)) {
            // Where the lines stopped (the end of what may be read, the text's last line),
            // a round of plain text would not get far.
            plainFrom = position + 128;
            continue;
        }
        if (nonData == 0 && heldCount == 0) {
            if (outputRoom - written < 32) break;
            _mm256_storeu_si256((__m256i *)(output + written), Pack(values));
            written += 24;
            position += 32;
            continue;
        }
        if (nonData == 0) {
            _mm256_storeu_si256((__m256i *)(held + heldCount), values);
            heldCount += 32;
        } else {
            if (nonData & ~SpaceMask(c)) break;     // '=', NUL or a stray byte: the caller decides
            heldCount += Compact(_mm256_castsi256_si128(values), ~nonData & 0xFFFF, held + heldCount);
            heldCount += Compact(_mm256_extracti128_si256(values, 1), ~nonData >> 16, held + heldCount);
        }
        position += 32;
        if (heldCount >= HELD_DRAIN && !DrainHeld(held, &heldCount, output, &written, outputRoom))
            full = 1;
    }
    // Decode what has gathered, so the caller's character-by-character step is short.
    if (!full) DrainHeld(held, &heldCount, output, &written, outputRoom);
    *consumed = EndOfDecodedGroups(text, position, heldCount);
    return written;
}

uint32_t DecodeBlocksAvx2(const char *text, uint32_t length, uint8_t *output,
                          uint32_t outputRoom, uint32_t *consumed)
{
    return DecodeAvx2<false>(text, length, output, outputRoom, consumed);
}

uint32_t DecodeTextAvx2(const char *text, uint8_t *output, uint32_t outputRoom, uint32_t *consumed)
{
    return DecodeAvx2<true>(text, 0, output, outputRoom, consumed);
}

uint32_t DecodeArmourTextAvx2(const char *text, uint8_t *output, uint32_t outputRoom, uint32_t *consumed)
{
    return DecodeAvx2<true, true>(text, 0, output, outputRoom, consumed);
}

// Two aligned 32-byte blocks of one 64-byte line per round.
READS_WHOLE_BLOCKS uint32_t TextSpanAvx2(const char *text, uint32_t limit)
{
    const __m256i zero = _mm256_setzero_si256();
    uint32_t skew = (uint32_t)((uintptr_t)text & 31);
    uint32_t n = 32 - skew, nul = 0;

    nul = (uint32_t)_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_load_si256((const __m256i *)(text - skew)), zero)) >> skew;
    if (nul) return (uint32_t)__builtin_ctz(nul) < limit ? (uint32_t)__builtin_ctz(nul) : limit;
    // Every block read below holds a byte not yet known to lie past the NUL, or shares a
    // 64-byte line with one.
    while (n < limit) {
        const __m256i *block = (const __m256i *)(text + n);
        if (((uintptr_t)block & 63) == 0) {
            __m256i any = _mm256_min_epu8(_mm256_load_si256(block), _mm256_load_si256(block + 1));
            if (!_mm256_movemask_epi8(_mm256_cmpeq_epi8(any, zero))) {
                n += 64;
                continue;
            }
        }
        nul = (uint32_t)_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_load_si256(block), zero));
        if (nul) return limit - n > (uint32_t)__builtin_ctz(nul) ? n + __builtin_ctz(nul) : limit;
        n += 32;
    }
    return limit;
}
