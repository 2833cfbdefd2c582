// codec/core/ssse3/decode.cpp -- 16-byte kernels for CPUs with SSSE3 (pshufb), and the pieces the
// wider kernels share: the table that drops whitespace from a vector and the scan that
// finds where the decoded groups end in the text. Plain standard-alphabet text decodes
// four vectors a round with one validity test; everything else one vector at a time, and
// line-broken text has its own loop in ssse3/lines.cpp.
#include "codec/core/ssse3/vectors.h"

// Row m lists, in order, the positions of the set bits of m within an 8-byte piece (0x80,
// which pshufb turns into zero, fills the rest); COMPACT_COUNT[m] is how many there are.
struct CompactTable {
    uint8_t shuffle[256][8];
    uint8_t count[256];
};

static constexpr CompactTable MakeCompactTable(void)
{
    CompactTable table{};
    for (int mask = 0; mask < 256; ++mask) {
        int n = 0;
        for (int bit = 0; bit < 8; ++bit)
            if (mask >> bit & 1) table.shuffle[mask][n++] = (uint8_t)bit;
        table.count[mask] = (uint8_t)n;
        for (; n < 8; ++n) table.shuffle[mask][n] = 0x80;
    }
    return table;
}

static constexpr CompactTable COMPACT_TABLE = MakeCompactTable();
const uint8_t (*const COMPACT_SHUFFLE)[8] = COMPACT_TABLE.shuffle;
const uint8_t *const COMPACT_COUNT = COMPACT_TABLE.count;

uint32_t EndOfDecodedGroups(const char *text, uint32_t position, uint32_t undecoded)
{
    while (undecoded) {
        --position;
        if (!IsSpace(text[position])) --undecoded;
    }
    // Whitespace after the last decoded character belongs to the caller's next step.
    while (position > 0 && IsSpace(text[position - 1])) --position;
    return position;
}

// Stores the bytes of `values` whose bit is set in `keep` contiguously at `to` (16 bytes
// there must be writable) and returns how many.
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

uint32_t EncodeBlocksSsse3(const uint8_t *input, uint32_t blocks, char *output)
{
    uint32_t done = 0;
    // Each step loads 16 bytes and uses 12, so the last 4 bytes read must still be input.
    for (; blocks - done >= 6; done += 4) {
        __m128i in = _mm_loadu_si128((const __m128i *)(input + done * 3));
        // Per 32-bit lane the bytes of one group as b1 b0 b2 b1: each 6-bit field then
        // sits in one 16-bit half where a multiply can move it into place.
        in = _mm_shuffle_epi8(in, _mm_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10));
        __m128i first = _mm_mulhi_epu16(_mm_and_si128(in, _mm_set1_epi32(0x0FC0FC00)),
                                        _mm_set1_epi32(0x04000040));
        __m128i second = _mm_mullo_epi16(_mm_and_si128(in, _mm_set1_epi32(0x003F03F0)),
                                         _mm_set1_epi32(0x01000010));
        __m128i sextets = _mm_or_si128(first, second);
        // Offsets to ASCII by range: 0..25 +65, 26..51 +71, 52..61 -4, 62 -19, 63 -16.
        __m128i index = _mm_subs_epu8(sextets, _mm_set1_epi8(51));
        index = _mm_sub_epi8(index, _mm_cmpgt_epi8(sextets, _mm_set1_epi8(25)));
        __m128i offsets = _mm_setr_epi8(65, 71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 0, 0);
        _mm_storeu_si128((__m128i *)(output + done * 4),
                         _mm_add_epi8(sextets, _mm_shuffle_epi8(offsets, index)));
    }
    return done;
}

// Bit masks of the characters that carry no data ('-' and '_' do), from two nibble
// lookups: the low nibble names the high-nibble classes in which it is not one.
static inline uint32_t NonDataMask(__m128i low, __m128i high)
{
    const __m128i LOW_CLASS = _mm_setr_epi8(0x25, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21,
                                            0x21, 0x21, 0x23, 0x3A, 0x3B, 0x3A, 0x3B, 0x32);
    const __m128i HIGH_CLASS = _mm_setr_epi8(0x20, 0x20, 0x01, 0x02, 0x04, 0x08, 0x04, 0x10,
                                             0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20);
    __m128i classes = _mm_and_si128(_mm_shuffle_epi8(LOW_CLASS, low), _mm_shuffle_epi8(HIGH_CLASS, high));
    return ~(uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(classes, _mm_setzero_si128())) & 0xFFFF;
}

// TAB LF FF CR and space: a byte is whitespace when the table entry at its low nibble
// equals the byte itself (bytes from 0x80 up read 0 and never match).
static inline uint32_t SpaceMask(__m128i c)
{
    const __m128i SPACES = _mm_setr_epi8(0x20, -1, -1, -1, -1, -1, -1, -1,
                                         -1, 0x09, 0x0A, -1, 0x0C, 0x0D, -1, -1);
    return (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_shuffle_epi8(SPACES, c), c));
}

// 6-bit values of alphabet characters (others give garbage). The offset comes from the
// high nibble, except for '+' '-' '/' (by their low nibble) and '_' (its own entry 8).
static inline __m128i Values(__m128i c, __m128i low, __m128i high)
{
    const __m128i OFFSETS = _mm_setr_epi8(0, 0, 0, 4, -65, -65, -71, -71, -32, 0, 0, 19, 0, 17, 0, 16);
    __m128i index = _mm_max_epu8(high, _mm_and_si128(_mm_cmpeq_epi8(high, _mm_set1_epi8(2)), low));
    index = _mm_add_epi8(index, _mm_and_si128(_mm_cmpeq_epi8(c, _mm_set1_epi8('_')), _mm_set1_epi8(3)));
    return _mm_add_epi8(c, _mm_shuffle_epi8(OFFSETS, index));
}

static const uint32_t HELD_DRAIN = 256;

// Decodes the whole vectors of held values and moves the rest (fewer than 16) to the
// front. Returns 0 when the output ran out of room first; then only the count matters.
static inline int DrainHeld(uint8_t *held, uint32_t *heldCount, uint8_t *output,
                            uint32_t *written, uint32_t outputRoom)
{
    uint32_t used = 0;
    int room = 1;
    for (; *heldCount - used >= 16; used += 16) {
        if (outputRoom - *written < 16) {
            room = 0;
            break;
        }
        _mm_storeu_si128((__m128i *)(output + *written), Pack(_mm_loadu_si128((const __m128i *)(held + used))));
        *written += 12;
    }
    _mm_storeu_si128((__m128i *)held, _mm_loadu_si128((const __m128i *)(held + used)));
    *heldCount -= used;
    return room;
}

// Plain text in rounds of four vectors with one test a round; anything else, one vector
// at a time: whitespace is dropped and the values gathered, and lines go through their
// own loop. Without a length (`untilNul`), `length` is ignored and the NUL is looked for
// a page at a time, just before the decoding reaches the page's end. With `hyphenStops`
// every '-' is left to the caller, which alone knows where an armour line may begin.
template <bool untilNul, bool hyphenStops = false>
static uint32_t DecodeSsse3(const char *text, uint32_t length, uint8_t *output, uint32_t outputRoom,
                            uint32_t *consumed)
{
    // Values of data characters gathered across whitespace. They are decoded only once
    // many have gathered: a load of a vector just written in pieces would wait for the
    // pieces to reach the cache, and after a few hundred values they have.
    uint8_t held[HELD_DRAIN + 2 * 16];
    uint32_t heldCount = 0, position = 0, written = 0, plainFrom = 0;
    // Characters that may be read: the length, or the rest of the pages known to hold the
    // text until the NUL has been found.
    uint32_t readable = untilNul ? PAGE_BYTES - (uint32_t)((uintptr_t)text & (PAGE_BYTES - 1)) : length;
    int endKnown = !untilNul, full = 0;

    for (;;) {
        if (untilNul) ReadFurther(text, position, &readable, &endKnown, TextSpanSse2);
        if (heldCount == 0 && position >= plainFrom) {
            const StandardTables tables = LoadStandardTables();
            uint32_t room = outputRoom - written;
            uint32_t rounds = (readable - position) / 64, fit = room >= 52 ? (room - 4) / 48 : 0;
            const char *in = text + position;
            uint8_t *out = output + written;
            for (rounds = rounds < fit ? rounds : fit; rounds != 0; --rounds) {
                __m128i stray = DecodeStandard(LoadText<untilNul>(in), out, tables);
                stray = _mm_or_si128(stray, DecodeStandard(LoadText<untilNul>(in + 16), out + 12, tables));
                KeepRunning(stray);
                stray = _mm_or_si128(stray, DecodeStandard(LoadText<untilNul>(in + 32), out + 24, tables));
                KeepRunning(stray);
                stray = _mm_or_si128(stray, DecodeStandard(LoadText<untilNul>(in + 48), out + 36, tables));
                if (_mm_movemask_epi8(_mm_cmpeq_epi8(stray, _mm_setzero_si128())) != 0xFFFF) break;
                in += 64;
                out += 48;
            }
            position = (uint32_t)(in - text);
            written = (uint32_t)(out - output);
            // Stopped by a byte outside the standard alphabet: the round goes the slow way.
            if (rounds != 0) plainFrom = position + 64;
        }
        if (!endKnown && readable - position < 64) continue;
        if (readable - position < 16 || full) break;
        __m128i c = LoadText<untilNul>(text + position);
        // The plain rounds and the line loop take the standard alphabet only, so this is
        // the one place a '-' would be taken as data.
        if (hyphenStops && _mm_movemask_epi8(_mm_cmpeq_epi8(c, _mm_set1_epi8('-')))) break;
        __m128i low = _mm_and_si128(c, _mm_set1_epi8(0x0F));
        __m128i high = _mm_and_si128(_mm_srli_epi32(c, 4), _mm_set1_epi8(0x0F));
        uint32_t nonData = NonDataMask(low, high);
        __m128i values = Values(c, low, high);
        if (nonData != 0 && heldCount == 0 &&
            DecodeLinesSsse3<untilNul>(text, &readable, &endKnown, &position, output, outputRoom, &written, nonData,
                                       &values)) {
            // Where the lines stopped (the end of what may be read, the text's last line),
            // a round of plain text would not get far.
            plainFrom = position + 64;
            continue;
        }
        if (nonData == 0 && heldCount == 0) {
            if (outputRoom - written < 16) break;
            _mm_storeu_si128((__m128i *)(output + written), Pack(values));
            written += 12;
            position += 16;
            continue;
        }
        if (nonData == 0) {
            _mm_storeu_si128((__m128i *)(held + heldCount), values);
            heldCount += 16;
        } else {
            if (nonData & ~SpaceMask(c)) break;     // '=', NUL or a stray byte: the caller decides
            heldCount += Compact(values, ~nonData & 0xFFFF, held + heldCount);
        }
        position += 16;
        if (heldCount >= HELD_DRAIN && !DrainHeld(held, &heldCount, output, &written, outputRoom))
            full = 1;
    }
    // Decode what has gathered, so the caller's character-by-character step is short.
    if (!full) DrainHeld(held, &heldCount, output, &written, outputRoom);
    *consumed = EndOfDecodedGroups(text, position, heldCount);
    return written;
}

uint32_t DecodeBlocksSsse3(const char *text, uint32_t length, uint8_t *output,
                           uint32_t outputRoom, uint32_t *consumed)
{
    return DecodeSsse3<false>(text, length, output, outputRoom, consumed);
}

uint32_t DecodeTextSsse3(const char *text, uint8_t *output, uint32_t outputRoom, uint32_t *consumed)
{
    return DecodeSsse3<true>(text, 0, output, outputRoom, consumed);
}

uint32_t DecodeArmourTextSsse3(const char *text, uint8_t *output, uint32_t outputRoom, uint32_t *consumed)
{
    return DecodeSsse3<true, true>(text, 0, output, outputRoom, consumed);
}

// The NUL scan needs only SSE2; four aligned blocks of one 64-byte line per round keep
// the loads ahead of the compares.
READS_WHOLE_BLOCKS uint32_t TextSpanSse2(const char *text, uint32_t limit)
{
    const __m128i zero = _mm_setzero_si128();
    uint32_t skew = (uint32_t)((uintptr_t)text & 15);
    uint32_t n = 16 - skew, nul = 0;

    nul = (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_load_si128((const __m128i *)(text - skew)), zero)) >> skew;
    if (nul) return (uint32_t)__builtin_ctz(nul) < limit ? (uint32_t)__builtin_ctz(nul) : limit;
    // Every block read below holds a byte not yet known to lie past the NUL, or shares a
    // 64-byte line with one.
    while (n < limit) {
        const __m128i *block = (const __m128i *)(text + n);
        if (((uintptr_t)block & 63) == 0) {
            __m128i any = _mm_min_epu8(_mm_min_epu8(_mm_load_si128(block), _mm_load_si128(block + 1)),
                                       _mm_min_epu8(_mm_load_si128(block + 2), _mm_load_si128(block + 3)));
            if (!_mm_movemask_epi8(_mm_cmpeq_epi8(any, zero))) {
                n += 64;
                continue;
            }
        }
        nul = (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_load_si128(block), zero));
        if (nul) return limit - n > (uint32_t)__builtin_ctz(nul) ? n + __builtin_ctz(nul) : limit;
        n += 16;
    }
    return limit;
}
