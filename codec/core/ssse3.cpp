// codec/core/ssse3.cpp -- 16-byte kernels for CPUs with SSSE3 (pshufb), and the pieces the
// wider kernels share: the table that drops whitespace from a vector and the scan that
// finds where the decoded groups end in the text. Plain standard-alphabet text decodes
// four vectors a round with one validity test; everything else one vector at a time.
#include "codec/core/kernels.h"

#include <tmmintrin.h>

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

// Page size on every target we build for; a text's NUL is looked for a page at a time.
static const uint32_t PAGE_BYTES = 4096;

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

// The standard alphabet by nibbles: a byte belongs to it exactly when the entries of its
// low and its high nibble share no bit. High nibbles 2 to 7 each own a bit (4 and 6, 5 and
// 7 share one), set at the low nibbles that are no letter, digit, '+' or '/' there; every
// other high nibble has 0x10, which every low nibble has too. The low table is kept
// complemented and looked up by the whole byte: a byte from 0x80 up then reads 0, which
// leaves its high nibble's entry standing, so no mask of the low nibble is needed.
struct StandardTables {
    __m128i notLow, high, shift;
};

static inline StandardTables LoadStandardTables(void)
{
    StandardTables t = {
        _mm_setr_epi8(~0x15, ~0x11, ~0x11, ~0x11, ~0x11, ~0x11, ~0x11, ~0x11,
                      ~0x11, ~0x11, ~0x13, ~0x1A, ~0x1B, ~0x1B, ~0x1B, ~0x1A),
        _mm_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08,
                      0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10),
        // What to add to a standard character for its value, by high nibble; entry 1 is '/'s.
        _mm_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0)};
    return t;
}

// Four 6-bit values per lane into three bytes, the 12 bytes first in the vector.
static inline __m128i Pack(__m128i values)
{
    __m128i pairs = _mm_maddubs_epi16(values, _mm_set1_epi32(0x01400140));
    __m128i groups = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00011000));
    return _mm_shuffle_epi8(groups, _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
}

// Decodes 16 characters of the standard alphabet into 12 bytes at `to` (16 stored).
// Returns a vector that is non-zero where a character is not one of them; then what was
// stored is not to be used.
static inline __attribute__((always_inline)) __m128i DecodeStandard(__m128i c, uint8_t *to,
                                                                     const StandardTables &t)
{
    __m128i high = _mm_and_si128(_mm_srli_epi32(c, 4), _mm_set1_epi8(0x0F));
    __m128i stray = _mm_andnot_si128(_mm_shuffle_epi8(t.notLow, c), _mm_shuffle_epi8(t.high, high));
    __m128i shift = _mm_shuffle_epi8(t.shift, _mm_add_epi8(high, _mm_cmpeq_epi8(c, _mm_set1_epi8('/'))));
    _mm_storeu_si128((__m128i *)to, Pack(_mm_add_epi8(c, shift)));
    return stray;
}

// Text loads. Without a length the decoder reads the bytes after the NUL that share a page
// with the text, which is harmless but outside the text's allocation: those loads are
// hidden from the address sanitizer.
template <bool untilNul>
static inline __m128i LoadText(const char *p)
{
    if (!untilNul) return _mm_loadu_si128((const __m128i *)p);
    __m128i v;
    __asm__("movdqu %1, %0" : "=x"(v) : "m"(*(const char(*)[16])p));
    return v;
}

template <bool untilNul>
static inline uint32_t LoadByte(const char *p)
{
    if (!untilNul) return (uint8_t)*p;
    uint32_t b;
    __asm__("movzbl %1, %0" : "=r"(b) : "m"(*p));
    return b;
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

// Whole lines of LINE characters and a separator each, from *position (a line's start)
// while they fit in the `length` characters that may be read and in the room; stops
// before a line whose separator differs or that holds a character outside the standard
// alphabet. A line is four vectors, or five for 76 characters, the fifth overlapping the
// fourth by 4.
template <bool untilNul, uint32_t LINE>
static void DecodeLineRun(const char *text, uint32_t length, uint32_t *position, uint8_t *output,
                          uint32_t outputRoom, uint32_t *written, uint32_t separator, uint32_t separatorBytes)
{
    const StandardTables tables = LoadStandardTables();
    const uint32_t pairMask = separatorBytes == 2 ? 0xFFFF : 0xFF;
    const uint32_t step = LINE + separatorBytes, room = LINE == 76 ? 45 + 16 : 36 + 16;
    // Locals rather than the callers' counters, which every vector store might overwrite
    // as far as the compiler knows. Both separator bytes are read whatever its length, so
    // a line needs one byte more than it may have.
    uint32_t at = *position, done = *written;
    uint32_t lines = length - at >= LINE + 2 ? (length - at - LINE - 2) / step + 1 : 0;
    uint32_t fit = outputRoom - done >= room ? (outputRoom - done - room) / (LINE / 4 * 3) + 1 : 0;
    for (lines = lines < fit ? lines : fit; lines != 0; --lines) {
        const char *from = text + at;
        uint8_t *to = output + done;
        if ((LoadPair<untilNul>(from + LINE) & pairMask) != separator) break;
        // One statement a vector: each store's last 4 bytes are overwritten by the next one.
        __m128i stray = DecodeStandard(LoadText<untilNul>(from), to, tables);
        stray = _mm_or_si128(stray, DecodeStandard(LoadText<untilNul>(from + 16), to + 12, tables));
        stray = _mm_or_si128(stray, DecodeStandard(LoadText<untilNul>(from + 32), to + 24, tables));
        stray = _mm_or_si128(stray, DecodeStandard(LoadText<untilNul>(from + 48), to + 36, tables));
        if (LINE == 76) stray = _mm_or_si128(stray, DecodeStandard(LoadText<untilNul>(from + 60), to + 45, tables));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(stray, _mm_setzero_si128())) != 0xFFFF) break;
        at += step;
        done += LINE / 4 * 3;
    }
    *position = at;
    *written = done;
}

// Text broken into lines of 64 or 76 characters by one separator of one or two whitespace
// bytes (PEM's LF, MIME's CR LF) goes a line at a time without gathering values. The
// vector at *position (between groups) has `nonData` set from the lane where its data
// ends, and `values` decoded. Returns 0 when the text there does not look like such lines
// and nothing moved; otherwise 1, with *position and *written past the lines decoded.
// `length` counts the characters that may be read.
template <bool untilNul>
static int DecodeLinesSsse3(const char *text, uint32_t length, uint32_t *position, uint8_t *output,
                            uint32_t outputRoom, uint32_t *written, uint32_t nonData, __m128i values)
{
    const char *at = text + *position;
    uint32_t rest = (uint32_t)__builtin_ctz(nonData), left = length - *position;
    if (rest % 4 != 0 || left - rest < 3 || !IsSpace((char)LoadByte<untilNul>(at + rest))) return 0;
    uint32_t separatorBytes = IsSpace((char)LoadByte<untilNul>(at + rest + 1)) ? 2 : 1;
    uint32_t separator = SeparatorAt<untilNul>(at + rest, separatorBytes);
    uint32_t next = rest + separatorBytes, line = 0;
    if (left - next >= 76 + separatorBytes && SeparatorAt<untilNul>(at + next + 76, separatorBytes) == separator)
        line = 76;
    else if (left - next >= 64 + separatorBytes && SeparatorAt<untilNul>(at + next + 64, separatorBytes) == separator)
        line = 64;
    if (line == 0 || outputRoom - *written < 16) return 0;
    // The rest of this line: its lanes of `values` are right.
    _mm_storeu_si128((__m128i *)(output + *written), Pack(values));
    *written += rest / 4 * 3;
    *position += next;
    if (line == 76)
        DecodeLineRun<untilNul, 76>(text, length, position, output, outputRoom, written, separator, separatorBytes);
    else
        DecodeLineRun<untilNul, 64>(text, length, position, output, outputRoom, written, separator, separatorBytes);
    return 1;
}

// Plain text in rounds of four vectors with one test a round; anything else, one vector
// at a time: whitespace is dropped and the values gathered, and lines go through their
// own loop. Without a length (`untilNul`), `length` is ignored and the NUL is looked for
// a page at a time, just before the decoding reaches the page's end.
template <bool untilNul>
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
        if (!endKnown && readable - position < 64) {
            // The text goes on into the next page unless its NUL is in the rest of this one.
            uint32_t rest = readable - position, span = rest ? TextSpanSse2(text + position, rest) : 0;
            if (span == rest) {
                readable += PAGE_BYTES;
            } else {
                readable = position + span;
                endKnown = 1;
            }
        }
        if (heldCount == 0 && position >= plainFrom) {
            const StandardTables tables = LoadStandardTables();
            uint32_t room = outputRoom - written;
            uint32_t rounds = (readable - position) / 64, fit = room >= 52 ? (room - 4) / 48 : 0;
            const char *in = text + position;
            uint8_t *out = output + written;
            for (rounds = rounds < fit ? rounds : fit; rounds != 0; --rounds) {
                // One running OR: gcc would otherwise keep each vector's result apart until
                // the end of the round, which 32-bit code has no registers for.
                __m128i stray = DecodeStandard(LoadText<untilNul>(in), out, tables);
                stray = _mm_or_si128(stray, DecodeStandard(LoadText<untilNul>(in + 16), out + 12, tables));
                __asm__("" : "+x"(stray));
                stray = _mm_or_si128(stray, DecodeStandard(LoadText<untilNul>(in + 32), out + 24, tables));
                __asm__("" : "+x"(stray));
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
        __m128i low = _mm_and_si128(c, _mm_set1_epi8(0x0F));
        __m128i high = _mm_and_si128(_mm_srli_epi32(c, 4), _mm_set1_epi8(0x0F));
        uint32_t nonData = NonDataMask(low, high);
        __m128i values = Values(c, low, high);
        if (nonData != 0 && heldCount == 0 &&
            DecodeLinesSsse3<untilNul>(text, readable, &position, output, outputRoom, &written, nonData, values)) {
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
