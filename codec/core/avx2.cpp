// codec/core/avx2.cpp -- 32-byte kernels for CPUs with AVX2. Plain standard-alphabet text
// goes four vectors a round with one validity test; whitespace, '-' and '_' leave that loop
// for the SSSE3 method on two lanes, dropping whitespace per 16-byte lane with the shared
// table; line-broken text has its own loop in avx2_lines.cpp.
#include "codec/core/kernels.h"

#include <immintrin.h>

// Page size on every target we build for; a text's NUL is looked for a page at a time.
static const uint32_t PAGE_BYTES = 4096;

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
    // groups go to the scalar kernel and 10 groups must be left for each step.
    if (blocks < 12) return 0;
    done = EncodeBlocksScalar(input, 2, output);
    for (; blocks - done >= 18; done += 16) {
        const uint8_t *from = input + done * 3 - 4;
        __m256i in0 = _mm256_shuffle_epi8(_mm256_loadu_si256((const __m256i *)from), spread);
        __m256i in1 = _mm256_shuffle_epi8(_mm256_loadu_si256((const __m256i *)(from + 24)), spread);
        _mm256_storeu_si256((__m256i *)(output + done * 4), EncodeVector(in0, offsets));
        _mm256_storeu_si256((__m256i *)(output + done * 4 + 32), EncodeVector(in1, offsets));
    }
    for (; blocks - done >= 10; done += 8) {
        const uint8_t *from = input + done * 3 - 4;
        __m256i in = _mm256_shuffle_epi8(_mm256_loadu_si256((const __m256i *)from), spread);
        _mm256_storeu_si256((__m256i *)(output + done * 4), EncodeVector(in, offsets));
    }
    return done;
}

// The standard alphabet by nibbles: a byte belongs to it exactly when the entries of its
// low and its high nibble share no bit. High nibbles 2 to 7 each own a bit (4 and 6, 5 and
// 7 share one), set at the low nibbles that are no letter, digit, '+' or '/' there; every
// other high nibble has 0x10, which every low nibble has too.
static inline __m256i Replicate(const int8_t (&bytes)[16])
{
    __m128i lane = _mm_loadu_si128((const __m128i *)bytes);
    return _mm256_broadcastsi128_si256(lane);
}
static const int8_t STANDARD_LOW[16] = {0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                                        0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A};
static const int8_t STANDARD_HIGH[16] = {0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08,
                                         0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10};
// What to add to a standard character for its value, by high nibble; entry 1 is '/'s.
static const int8_t STANDARD_SHIFT[16] = {0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0};

// The three tables, kept in registers across a loop. The low one is kept complemented
// and looked up by the whole byte: a byte from 0x80 up then reads 0, which leaves its high
// nibble's entry (0x10) standing, so no mask of the low nibble is needed.
struct StandardTables {
    __m256i notLow, high, shift;
};

static inline StandardTables LoadStandardTables(void)
{
    __m256i low = Replicate(STANDARD_LOW);
    StandardTables t = {_mm256_xor_si256(low, _mm256_cmpeq_epi8(low, low)), Replicate(STANDARD_HIGH),
                        Replicate(STANDARD_SHIFT)};
    return t;
}

// Four 6-bit values per 32-bit lane into three bytes, the 24 bytes first in the vector.
static inline __m256i Pack(__m256i values)
{
    __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
    __m256i groups = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
    __m256i lanes = _mm256_shuffle_epi8(groups, _mm256_setr_epi8(
        2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1,
        2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
    // Kept as one shuffle and one permute: clang would otherwise split the pair into
    // lane extracts and blends, three more instructions in the hottest loop.
    __asm__("" : "+x"(lanes));
    return _mm256_permutevar8x32_epi32(lanes, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
}

// Four 6-bit values per 32-bit lane into three bytes, each lane's 12 first in the lane.
static inline __m256i PackLanes(__m256i values)
{
    __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
    __m256i groups = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
    return _mm256_shuffle_epi8(groups, _mm256_setr_epi8(
        2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1,
        2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
}

// The 12 bytes of each lane of `bytes` (from PackLanes) one after the other at `to`, 28
// bytes stored. Two 16-byte stores cost less than the lane-crossing permute Pack needs.
static inline void StoreLanes(__m256i bytes, uint8_t *to)
{
    _mm_storeu_si128((__m128i *)to, _mm256_castsi256_si128(bytes));
    _mm_storeu_si128((__m128i *)(to + 12), _mm256_extracti128_si256(bytes, 1));
}

// The 6-bit values of 32 characters of the standard alphabet; *stray gets non-zero bytes
// ORed in where a character is not one of them.
static inline __attribute__((always_inline)) __m256i StandardValues(__m256i c, const StandardTables &t,
                                                                     __m256i *stray)
{
    __m256i high = _mm256_and_si256(_mm256_srli_epi32(c, 4), _mm256_set1_epi8(0x0F));
    __m256i wrong = _mm256_andnot_si256(_mm256_shuffle_epi8(t.notLow, c), _mm256_shuffle_epi8(t.high, high));
    __m256i shift = _mm256_shuffle_epi8(t.shift, _mm256_add_epi8(high, _mm256_cmpeq_epi8(c, _mm256_set1_epi8('/'))));
    *stray = _mm256_or_si256(*stray, wrong);
    return _mm256_add_epi8(c, shift);
}

// Ends gcc's freedom to regroup a chain of ORs: it would keep each vector's result apart
// until the end of a round, which 32-bit code has no registers for, and spill them.
static inline void KeepRunning(__m256i &stray)
{
    __asm__("" : "+x"(stray));
}

// Decodes 32 characters of the standard alphabet into 24 bytes at `to` (28 stored).
// Returns a vector that is non-zero where a character is not one of them; then what was
// stored is not to be used.
static inline __attribute__((always_inline)) __m256i DecodeStandard(__m256i c, uint8_t *to,
                                                                     const StandardTables &t)
{
    __m256i stray = _mm256_setzero_si256();
    StoreLanes(PackLanes(StandardValues(c, t, &stray)), to);
    return stray;
}

// Text loads. Without a length the decoder reads the bytes after the NUL that share a page
// with the text, which is harmless but outside the text's allocation: those loads are
// hidden from the address sanitizer.
template <bool untilNul>
static inline __m256i LoadText(const char *p)
{
    if (!untilNul) return _mm256_loadu_si256((const __m256i *)p);
    __m256i v;
    __asm__("vmovdqu %1, %0" : "=x"(v) : "m"(*(const char(*)[32])p));
    return v;
}

template <bool untilNul>
static inline __m128i LoadText16(const char *p)
{
    if (!untilNul) return _mm_loadu_si128((const __m128i *)p);
    __m128i v;
    __asm__("vmovdqu %1, %0" : "=x"(v) : "m"(*(const char(*)[16])p));
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
// alphabet. A line is two vectors, or three for 76 characters, the third overlapping the
// second by 20. Returns 1 when it stopped only for want of characters or room.
template <bool untilNul, uint32_t LINE>
static int DecodeLineRun(const char *text, uint32_t length, uint32_t *position, uint8_t *output,
                          uint32_t outputRoom, uint32_t *written, uint32_t separator, uint32_t separatorBytes)
{
    const StandardTables tables = LoadStandardTables();
    const uint32_t pairMask = separatorBytes == 2 ? 0xFFFF : 0xFF;
    const uint32_t step = LINE + separatorBytes, room = LINE == 76 ? 33 + 32 : 24 + 32;
    // Locals rather than the callers' counters, which every vector store might overwrite
    // as far as the compiler knows. Both separator bytes are read whatever its length, so
    // a line needs one byte more than it may have.
    uint32_t at = *position, done = *written;
    uint32_t lines = length - at >= LINE + 2 ? (length - at - LINE - 2) / step + 1 : 0;
    uint32_t fit = outputRoom - done >= room ? (outputRoom - done - room) / (LINE / 4 * 3) + 1 : 0;
    lines = lines < fit ? lines : fit;
    if (LINE == 76) {
        // Two lines a round, so that the last 12 characters of both share one vector
        // (their halves loaded from 16 before each line's end) rather than taking one each.
        // Each lane's 12 bytes go out after its line's vectors, before the next line's.
        for (; lines >= 2; lines -= 2) {
            const char *from = text + at;
            uint8_t *to = output + done;
            const uint32_t second = step, secondOut = LINE / 4 * 3;
            if (((LoadPair<untilNul>(from + LINE) ^ separator) | (LoadPair<untilNul>(from + second + LINE) ^ separator)) &
                pairMask)
                break;
            __m256i stray = _mm256_setzero_si256();
            __m256i ends = _mm256_inserti128_si256(_mm256_castsi128_si256(LoadText16<untilNul>(from + 60)),
                                                   LoadText16<untilNul>(from + second + 60), 1);
            __m256i endBytes = PackLanes(StandardValues(ends, tables, &stray));
            StoreLanes(PackLanes(StandardValues(LoadText<untilNul>(from), tables, &stray)), to);
            KeepRunning(stray);
            StoreLanes(PackLanes(StandardValues(LoadText<untilNul>(from + 32), tables, &stray)), to + 24);
            KeepRunning(stray);
            _mm_storeu_si128((__m128i *)(to + 45), _mm256_castsi256_si128(endBytes));
            StoreLanes(PackLanes(StandardValues(LoadText<untilNul>(from + second), tables, &stray)), to + secondOut);
            KeepRunning(stray);
            StoreLanes(PackLanes(StandardValues(LoadText<untilNul>(from + second + 32), tables, &stray)),
                       to + secondOut + 24);
            _mm_storeu_si128((__m128i *)(to + secondOut + 45), _mm256_extracti128_si256(endBytes, 1));
            if (!_mm256_testz_si256(stray, stray)) break;
            at += 2 * step;
            done += 2 * secondOut;
        }
    }
    for (; lines != 0; --lines) {
        const char *from = text + at;
        uint8_t *to = output + done;
        if ((LoadPair<untilNul>(from + LINE) & pairMask) != separator) break;
        // One statement a vector: each store's last 8 bytes are overwritten by the next one,
        // so they must happen in this order (a call's arguments may go in any order).
        __m256i stray = DecodeStandard(LoadText<untilNul>(from), to, tables);
        stray = _mm256_or_si256(stray, DecodeStandard(LoadText<untilNul>(from + 32), to + 24, tables));
        if (LINE == 76) stray = _mm256_or_si256(stray, DecodeStandard(LoadText<untilNul>(from + 44), to + 33, tables));
        if (!_mm256_testz_si256(stray, stray)) break;
        at += step;
        done += LINE / 4 * 3;
    }
    *position = at;
    *written = done;
    return lines == 0;
}

// Without a length: when fewer than 128 of the characters known to be readable are left
// from `position`, the text goes on into the next page unless its NUL is among them.
static inline void ReadFurther(const char *text, uint32_t position, uint32_t *readable, int *endKnown)
{
    if (*endKnown || *readable - position >= 128) return;
    uint32_t rest = *readable - position, span = rest ? TextSpanAvx2(text + position, rest) : 0;
    if (span == rest) {
        *readable += PAGE_BYTES;
    } else {
        *readable = position + span;
        *endKnown = 1;
    }
}

// Text broken into lines of 64 or 76 characters by one separator of one or two whitespace
// bytes (PEM's LF, MIME's CR LF) goes a line at a time without gathering values. The
// vector at *position (between groups) has `nonData` set from the lane where its data
// ends, and `values` decoded. Returns 0 when the text there does not look like such lines
// and nothing moved; otherwise 1, with *position and *written past the lines decoded.
// *readable counts the characters that may be read, and without a length grows as the
// lines reach further pages (see ReadFurther).
template <bool untilNul>
static int DecodeLinesAvx2(const char *text, uint32_t *readable, int *endKnown, uint32_t *position,
                           uint8_t *output, uint32_t outputRoom, uint32_t *written, uint32_t nonData, __m256i values)
{
    const uint32_t length = *readable;
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
    if (line == 0 || outputRoom - *written < 32) return 0;
    // The rest of this line: its lanes of `values` are right.
    _mm256_storeu_si256((__m256i *)(output + *written), Pack(values));
    *written += rest / 4 * 3;
    *position += next;
    // Lines that run into the next page go on there without leaving this loop.
    for (;;) {
        uint32_t from = *position;
        int ranOut = line == 76 ? DecodeLineRun<untilNul, 76>(text, *readable, position, output, outputRoom, written,
                                                              separator, separatorBytes)
                                : DecodeLineRun<untilNul, 64>(text, *readable, position, output, outputRoom, written,
                                                              separator, separatorBytes);
        if (!untilNul || !ranOut || *position == from) break;
        uint32_t before = *readable;
        ReadFurther(text, *position, readable, endKnown);
        if (*readable == before) break;
    }
    return 1;
}

// Plain text in rounds of four vectors with one test a round; anything else, one vector
// at a time: whitespace is dropped and the values gathered, and lines go through their
// own loop. Without a length (`untilNul`), `length` is ignored and the NUL is looked for
// a page at a time, just before the decoding reaches the page's end.
template <bool untilNul>
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
        if (untilNul) ReadFurther(text, position, &readable, &endKnown);
        if (heldCount == 0 && position >= plainFrom) {
            const StandardTables tables = LoadStandardTables();
            uint32_t room = outputRoom - written;
            uint32_t rounds = (readable - position) / 128, fit = room >= 104 ? (room - 8) / 96 : 0;
            const char *in = text + position;
            uint8_t *out = output + written;
            for (rounds = rounds < fit ? rounds : fit; rounds != 0; --rounds) {
                __m256i stray = DecodeStandard(LoadText<untilNul>(in), out, tables);
                stray = _mm256_or_si256(stray, DecodeStandard(LoadText<untilNul>(in + 32), out + 24, tables));
                KeepRunning(stray);
                stray = _mm256_or_si256(stray, DecodeStandard(LoadText<untilNul>(in + 64), out + 48, tables));
                KeepRunning(stray);
                stray = _mm256_or_si256(stray, DecodeStandard(LoadText<untilNul>(in + 96), out + 72, tables));
                if (!_mm256_testz_si256(stray, stray)) break;
                in += 128;
                out += 96;
            }
            position = (uint32_t)(in - text);
            written = (uint32_t)(out - output);
            // Stopped by a byte outside the standard alphabet: the round goes the slow way.
            if (rounds != 0) plainFrom = position + 128;
        }
        if (!endKnown && readable - position < 128) continue;
        if (readable - position < 32 || full) break;
        __m256i c = LoadText<untilNul>(text + position);
        __m256i low = _mm256_and_si256(c, _mm256_set1_epi8(0x0F));
        __m256i high = _mm256_and_si256(_mm256_srli_epi32(c, 4), _mm256_set1_epi8(0x0F));
        uint32_t nonData = NonDataMask(low, high);
        __m256i values = Values(c, low, high);
        if (nonData != 0 && heldCount == 0 &&
            DecodeLinesAvx2<untilNul>(text, &readable, &endKnown, &position, output, outputRoom, &written, nonData,
                                      values)) {
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
