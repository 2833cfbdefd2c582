// codec/core/avx512/decode.cpp -- 64-byte kernels for CPUs with AVX-512 F/BW/VL, VBMI (byte
// permutes, multishift) and VBMI2 (byte compress, which drops whitespace in one step).
#include "codec/core/kernels.h"

#include <immintrin.h>
#include <stddef.h>
#include <utility>

static const __mmask64 LOW_48 = 0x0000FFFFFFFFFFFFull;
static const __mmask64 ALL_64 = ~0ull;

// The zero-masking forms with every lane kept: gcc's unmasked forms start from an
// "undefined" register its own warnings then call uninitialized.
static inline __m512i Permute(__m512i index, __m512i table)
{
    return _mm512_maskz_permutexvar_epi8(ALL_64, index, table);
}

// Character (low 7 bits) to 6-bit value; 0x80 marks whitespace, 0xFF every other byte.
struct DecodeTable {
    uint8_t value[128];
};

static constexpr DecodeTable MakeDecodeTable(void)
{
    DecodeTable table{};
    const char *alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int c = 0; c < 128; ++c) table.value[c] = 0xFF;
    for (int i = 0; i < 64; ++i) table.value[(int)alphabet[i]] = (uint8_t)i;
    table.value[(int)'-'] = 62;
    table.value[(int)'_'] = 63;
    const char *spaces = "\t\n\f\r ";
    for (int i = 0; i < 5; ++i) table.value[(int)spaces[i]] = 0x80;
    return table;
}

alignas(64) static constexpr DecodeTable DECODE_TABLE = MakeDecodeTable();
static const uint8_t LANE_NUMBERS[64] = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
    22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43,
    44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63};
alignas(64) static const char ALPHABET[65] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

static const uint32_t STREAM_MIN_BLOCKS = (16u << 20) / 4;   // 16 MiB of output

uint32_t EncodeBlocksAvx512(const uint8_t *input, uint32_t blocks, char *output)
{
    // Per 32-bit lane the bytes of one group as b2 b1 b0 (b0 again as filler), so the lane
    // holds the 24 bits in reading order and each 6-bit field is one multishift away.
    const __m512i spread = _mm512_set_epi8(
        45, 45, 46, 47, 42, 42, 43, 44, 39, 39, 40, 41, 36, 36, 37, 38,
        33, 33, 34, 35, 30, 30, 31, 32, 27, 27, 28, 29, 24, 24, 25, 26,
        21, 21, 22, 23, 18, 18, 19, 20, 15, 15, 16, 17, 12, 12, 13, 14,
        9, 9, 10, 11, 6, 6, 7, 8, 3, 3, 4, 5, 0, 0, 1, 2);
    const __m512i shifts = _mm512_set1_epi64(0x20262C3200060C12ll);
    const __m512i alphabet = _mm512_loadu_si512((const void *)ALPHABET);
    uint32_t done = 0;

    // An output far larger than the caches goes round them: streaming stores save reading
    // each line in before it is overwritten. They need an aligned output, which a few
    // groups by the scalar kernel give (a group is 4 characters).
    if (blocks >= STREAM_MIN_BLOCKS && ((uintptr_t)output & 3) == 0) {
        done = (uint32_t)(-(uintptr_t)output & 63) / 4;
        EncodeBlocksScalar(input, done, output);
        for (; blocks - done >= 22; done += 16) {
            __m512i in = _mm512_loadu_si512((const void *)(input + done * 3));
            __m512i fields = _mm512_maskz_multishift_epi64_epi8(ALL_64, shifts, Permute(spread, in));
            _mm512_stream_si512((__m512i *)(output + done * 4), Permute(fields, alphabet));
        }
        _mm_sfence();
    }
    // Plain 64-byte loads while the input lasts: a masked load that misses the cache
    // waits far longer than a plain one.
    for (; blocks - done >= 22; done += 16) {
        __m512i in = _mm512_loadu_si512((const void *)(input + done * 3));
        __m512i fields = _mm512_maskz_multishift_epi64_epi8(ALL_64, shifts, Permute(spread, in));
        _mm512_storeu_si512((void *)(output + done * 4), Permute(fields, alphabet));
    }
    // The masked load reads exactly the 48 bytes used, so the last groups can be done too.
    for (; blocks - done >= 16; done += 16) {
        __m512i in = _mm512_maskz_loadu_epi8(LOW_48, input + done * 3);
        __m512i fields = _mm512_maskz_multishift_epi64_epi8(ALL_64, shifts, Permute(spread, in));
        _mm512_storeu_si512((void *)(output + done * 4), Permute(fields, alphabet));
    }
    return done;
}

// Four 6-bit values per 32-bit lane into three bytes, the 48 bytes first in the vector.
static inline __m512i Pack(__m512i values)
{
    const __m512i gather = _mm512_set_epi8(
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        60, 61, 62, 56, 57, 58, 52, 53, 54, 48, 49, 50, 44, 45, 46, 40,
        41, 42, 36, 37, 38, 32, 33, 34, 28, 29, 30, 24, 25, 26, 20, 21,
        22, 16, 17, 18, 12, 13, 14, 8, 9, 10, 4, 5, 6, 0, 1, 2);
    __m512i pairs = _mm512_maddubs_epi16(values, _mm512_set1_epi32(0x01400140));
    __m512i groups = _mm512_madd_epi16(pairs, _mm512_set1_epi32(0x00011000));
    return Permute(gather, groups);
}

static inline uint32_t CountBits(__mmask64 mask)
{
#if defined(__x86_64__)
    return (uint32_t)__builtin_popcountll(_cvtmask64_u64(mask));
#else
    // 32-bit code has no 64-bit general registers; count the halves, each moved out of
    // the mask register alone (a cast of the whole mask would go through the stack).
    return (uint32_t)__builtin_popcount(_cvtmask32_u32((__mmask32)_kshiftri_mask64(_kshiftli_mask64(mask, 32), 32))) +
           (uint32_t)__builtin_popcount(_cvtmask32_u32((__mmask32)_kshiftri_mask64(mask, 32)));
#endif
}

// Page size on every target we build for (x86 Windows and Linux); larger pages are
// multiples of it, so a 4 KiB-aligned block never straddles a page either.
static const uintptr_t PAGE_BYTES = 4096;
// Pairs of text vectors whose values are gathered before they are decoded.
static const uint32_t CHUNK_PAIRS = 16;

// A 64-byte load the address sanitizer does not see: the decode of a NUL-terminated text
// reads the bytes after its NUL that share a page with the text, which is harmless but
// outside the text's allocation. Only that decode uses it.
static inline __m512i LoadUnchecked(const char *p)
{
    __m512i v;
    __asm__("vmovdqu64 %1, %0" : "=v"(v) : "m"(*(const char(*)[64])p));
    return v;
}

// The lowest set lane of a mask that has one.
static inline uint32_t FirstLane(__mmask64 mask)
{
#if defined(__x86_64__)
    return (uint32_t)__builtin_ctzll(_cvtmask64_u64(mask));
#else
    uint32_t low = _cvtmask32_u32((__mmask32)_kshiftri_mask64(_kshiftli_mask64(mask, 32), 32));
    if (low) return (uint32_t)__builtin_ctz(low);
    return 32 + (uint32_t)__builtin_ctz(_cvtmask32_u32((__mmask32)_kshiftri_mask64(mask, 32)));
#endif
}

// Text broken into lines of one length by one separator (MIME's 76 characters and CR LF,
// PEM's 64 and LF) is decoded without compressing, in windows of 60 data characters: with
// a separator of at most 2 bytes they fit one 64-byte load, from which a byte permute drops
// the separator, and the separator itself is checked in the same load. (Windows of 64 would
// need a second load for their last bytes, and loads are what the decoding waits for.)
// Where the windows start and break repeats every 15 lines, so each common shape has that
// period unrolled with those as constants.
static const uint32_t WINDOW_CHARS = 60;
// Without a length, the line loops look for the NUL a page at a time, and after this many
// pages this far ahead at a time.
static const uint32_t LINES_PAGES_BEFORE_SCAN = 1024;
static const uint32_t LINES_SCAN_AHEAD = 16384;
static const uint32_t WINDOW_BYTES = WINDOW_CHARS / 4 * 3;

template <uint32_t LINE, uint32_t SEPARATOR>
struct LineShape {
    static_assert(LINE == 64 || LINE == 76, "a line shape with its own period length");
    static_assert(SEPARATOR == 1 || SEPARATOR == 2, "a separator of one or two bytes");
    static constexpr uint32_t WINDOWS = 15 * LINE / WINDOW_CHARS;
    // Windows checked at once: a line that breaks the shape (the text's last, say) costs
    // at most these done again.
    static constexpr uint32_t GROUP = LINE == 64 ? 4 : 5;
    uint32_t offset[WINDOWS];     // of each window's first character, from the period's start
    uint32_t lineLeft[WINDOWS];   // characters of its line from its first one on
    uint32_t periodBytes;
};

template <uint32_t LINE, uint32_t SEPARATOR>
static constexpr LineShape<LINE, SEPARATOR> MakeLineShape(void)
{
    LineShape<LINE, SEPARATOR> shape{};
    uint32_t column = 0, offset = 0;
    for (uint32_t j = 0; j < shape.WINDOWS; ++j) {
        uint32_t left = LINE - column;
        shape.offset[j] = offset;
        shape.lineLeft[j] = left;
        if (left <= WINDOW_CHARS) {
            offset += WINDOW_CHARS + SEPARATOR;
            column = column + WINDOW_CHARS - LINE;
        } else {
            offset += WINDOW_CHARS;
            column += WINDOW_CHARS;
        }
    }
    shape.periodBytes = offset;
    return shape;
}

template <uint32_t LINE, uint32_t SEPARATOR>
static constexpr LineShape<LINE, SEPARATOR> LINE_SHAPE = MakeLineShape<LINE, SEPARATOR>();

// Row k drops a separator that starts at lane 4k (row 15: none); the lanes past the window
// repeat its first character, which keeps them valid data.
struct SkipIndexes {
    uint8_t row[16][64];
};

template <uint32_t SEPARATOR>
static constexpr SkipIndexes MakeSkipIndexes(void)
{
    SkipIndexes t{};
    for (uint32_t k = 0; k < 16; ++k)
        for (uint32_t i = 0; i < 64; ++i)
            t.row[k][i] = (uint8_t)(i >= WINDOW_CHARS ? 0 : i < 4 * k ? i : i + SEPARATOR);
    return t;
}

template <uint32_t SEPARATOR>
alignas(64) static constexpr SkipIndexes SKIP_INDEXES = MakeSkipIndexes<SEPARATOR>();

template <bool untilNul>
static inline __m512i LoadText(const char *p)
{
    return untilNul ? LoadUnchecked(p) : _mm512_loadu_si512((const void *)p);
}

// The separator's bytes after a line, the first in the low byte. Without a length they may
// lie past the NUL in the same page, where the address sanitizer must not look (see
// LoadUnchecked); the caller has made sure they are readable.
template <bool untilNul>
static inline uint32_t LoadSeparator(const char *p, uint32_t separatorBytes)
{
    uint32_t low = 0, high = 0;
    if (untilNul) {
        __asm__("movzbl %1, %0" : "=r"(low) : "m"(*p));
        if (separatorBytes == 2) __asm__("movzbl %1, %0" : "=r"(high) : "m"(p[1]));
    } else {
        low = (uint8_t)p[0];
        if (separatorBytes == 2) high = (uint8_t)p[1];
    }
    return low | high << 8;
}

// Window J of a period at `base`: its 45 bytes go to to + 45 * J (with 19 more stored after
// them). Any top bit in `seen` afterwards marks whitespace or a stray byte where data
// belongs; a set bit in `wrong`, a separator that is not the one the lines have.
template <bool untilNul, uint32_t LINE, uint32_t SEPARATOR, uint32_t J>
static inline __attribute__((always_inline)) void DecodeLineWindow(
    const char *base, uint8_t *to, __m512i tableLow, __m512i tableHigh, __m512i separatorBytes,
    __m512i &seen, uintptr_t &wrong)
{
    constexpr uint32_t left = LINE_SHAPE<LINE, SEPARATOR>.lineLeft[J];
    constexpr uint32_t skipRow = left < WINDOW_CHARS ? left / 4 : 15;
    __m512i bytes = LoadText<untilNul>(base + LINE_SHAPE<LINE, SEPARATOR>.offset[J]);
    __m512i c = Permute(_mm512_load_si512((const void *)SKIP_INDEXES<SEPARATOR>.row[skipRow]), bytes);
    if constexpr (left <= WINDOW_CHARS) {
        // The check goes through a general register: mask registers are slow to combine,
        // and the empty asm keeps the compiler from folding the lanes back into a masked
        // compare.
        constexpr uint64_t separatorLanes = ((1ull << SEPARATOR) - 1) << left;
#if defined(__x86_64__)
        uintptr_t differs = _cvtmask64_u64(_mm512_cmpneq_epi8_mask(bytes, separatorBytes));
        __asm__("" : "+r"(differs));
        wrong |= differs & separatorLanes;
#else
        // 32-bit code has 32-bit general registers: only the half of the mask that holds
        // the separator (lanes left and left + 1, left a multiple of 4) is moved over.
        __mmask64 lanes = _mm512_cmpneq_epi8_mask(bytes, separatorBytes);
        uintptr_t differs = left >= 32 ? _cvtmask32_u32((__mmask32)_kshiftri_mask64(lanes, 32))
                                       : _cvtmask32_u32((__mmask32)_kshiftri_mask64(_kshiftli_mask64(lanes, 32), 32));
        __asm__("" : "+r"(differs));
        wrong |= differs & (uint32_t)(left >= 32 ? separatorLanes >> 32 : separatorLanes);
#endif
    }
    __m512i v = _mm512_permutex2var_epi8(tableLow, c, tableHigh);
    seen = _mm512_ternarylogic_epi32(seen, v, c, 0xFE);   // a | b | c
    _mm512_storeu_si512((void *)(to + WINDOW_BYTES * J), Pack(v));
}

template <bool untilNul, uint32_t LINE, uint32_t SEPARATOR, uint32_t FIRST, uint32_t... I>
static inline __attribute__((always_inline)) void DecodeLineWindows(
    const char *base, uint8_t *to, __m512i tableLow, __m512i tableHigh, __m512i separatorBytes,
    __m512i &seen, uintptr_t &wrong, std::integer_sequence<uint32_t, I...>)
{
    (DecodeLineWindow<untilNul, LINE, SEPARATOR, FIRST + I>(base, to, tableLow, tableHigh, separatorBytes, seen, wrong), ...);
}

// The windows of a period at `base` from window FIRST on, a group at a time while a
// group's loads stay within the `avail` bytes and its stores within the `room`. Returns the
// window it stopped at: the first of a group that broke the shape or did not fit, or
// WINDOWS.
template <bool untilNul, uint32_t LINE, uint32_t SEPARATOR, uint32_t FIRST>
static inline __attribute__((always_inline)) uint32_t DecodeLineGroups(
    const char *base, uint32_t avail, uint8_t *to, uintptr_t room, __m512i tableLow, __m512i tableHigh,
    __m512i separatorBytes)
{
    typedef LineShape<LINE, SEPARATOR> Shape;
    constexpr uint32_t COUNT = Shape::WINDOWS - FIRST < Shape::GROUP ? Shape::WINDOWS - FIRST : Shape::GROUP;
    constexpr uint32_t REACH = LINE_SHAPE<LINE, SEPARATOR>.offset[FIRST + COUNT - 1] + 64;
    if (avail < REACH || room < WINDOW_BYTES * (FIRST + COUNT) + 64 - WINDOW_BYTES) return FIRST;
    __m512i seen = _mm512_setzero_si512();
    uintptr_t wrong = 0;
    DecodeLineWindows<untilNul, LINE, SEPARATOR, FIRST>(base, to, tableLow, tableHigh, separatorBytes, seen, wrong,
                                                        std::make_integer_sequence<uint32_t, COUNT>());
    __mmask64 stray = _mm512_movepi8_mask(seen);
    if (!_kortestz_mask64_u8(stray, stray) || wrong) return FIRST;
    if constexpr (FIRST + COUNT < Shape::WINDOWS)
        return DecodeLineGroups<untilNul, LINE, SEPARATOR, FIRST + COUNT>(base, avail, to, room, tableLow, tableHigh,
                                                                           separatorBytes);
    else
        return Shape::WINDOWS;
}

// `chars` data characters at `at` (a multiple of 4, at most 128), of which `readable`
// bytes may be read, checked before anything moves on. Stores up to 64 bytes at `to`
// whatever it finds; 1 when they are all data.
template <bool untilNul>
static inline int DecodeDataRun(const char *at, uint32_t chars, uint32_t readable, uint8_t *to,
                                const uint8_t *outEnd, __m512i tableLow, __m512i tableHigh, __m512i lanes)
{
    uint32_t tail = chars > 64 ? chars - 64 : 0;
    if (chars == 0) return 1;
    if (readable < (chars > 64 ? chars : 64) || outEnd - to < (ptrdiff_t)(tail / 4 * 3 + 64)) return 0;
    __m512i first = LoadText<untilNul>(at);
    // A run shorter than a window has 'A's after it, which decode like any data.
    if (chars < 64)
        first = _mm512_mask_blend_epi8(_mm512_cmpge_epu8_mask(lanes, _mm512_set1_epi8((char)chars)), first,
                                       _mm512_set1_epi8('A'));
    __m512i last = tail ? LoadText<untilNul>(at + chars - 64) : first;
    __m512i v0 = _mm512_permutex2var_epi8(tableLow, first, tableHigh);
    __m512i v1 = _mm512_permutex2var_epi8(tableLow, last, tableHigh);
    __mmask64 stray = _mm512_movepi8_mask(_mm512_ternarylogic_epi32(v0, v1, _mm512_or_si512(first, last), 0xFE));
    if (!_kortestz_mask64_u8(stray, stray)) return 0;
    _mm512_storeu_si512((void *)to, Pack(v0));
    if (tail) _mm512_storeu_si512((void *)(to + tail / 4 * 3), Pack(v1));
    return 1;
}

// `chars` data characters at `at` (a multiple of 4, at most 128) and the separator after
// them, before `limit`: the rest of a line where the windows stopped. 1 when they are all
// there (and decoded).
template <bool untilNul>
static inline int DecodeLinePiece(const char *at, uint32_t chars, uint32_t separatorBytes,
                                  uint32_t separator, const char *limit, uint8_t *to,
                                  const uint8_t *outEnd, __m512i tableLow, __m512i tableHigh,
                                  __m512i lanes)
{
    uint32_t readable = (uint32_t)(limit - at);
    if (readable < chars + separatorBytes) return 0;
    if (LoadSeparator<untilNul>(at + chars, separatorBytes) != separator) return 0;
    return DecodeDataRun<untilNul>(at, chars, readable, to, outEnd, tableLow, tableHigh, lanes);
}

// Window j of a period at `base`, known only at run time and checked at once: for the
// windows where a group would read past the text known to be there.
template <bool untilNul, uint32_t LINE, uint32_t SEPARATOR>
static inline int DecodeLineWindowAt(uint32_t j, const char *base, uint8_t *to, uint32_t separator,
                                     __m512i tableLow, __m512i tableHigh)
{
    const LineShape<LINE, SEPARATOR> &shape = LINE_SHAPE<LINE, SEPARATOR>;
    uint32_t left = shape.lineLeft[j];
    const char *at = base + shape.offset[j];
    if (left <= WINDOW_CHARS && LoadSeparator<untilNul>(at + left, SEPARATOR) != separator) return 0;
    __m512i bytes = LoadText<untilNul>(at);
    uint32_t skipRow = left < WINDOW_CHARS ? left / 4 : 15;
    __m512i c = Permute(_mm512_load_si512((const void *)SKIP_INDEXES<SEPARATOR>.row[skipRow]), bytes);
    __m512i v = _mm512_permutex2var_epi8(tableLow, c, tableHigh);
    __mmask64 stray = _mm512_movepi8_mask(_mm512_or_si512(v, c));
    if (!_kortestz_mask64_u8(stray, stray)) return 0;
    _mm512_storeu_si512((void *)(to + WINDOW_BYTES * j), Pack(v));
    return 1;
}

// The offset of the first byte from `p` that is not an alphabet character, looking at most
// `avail` bytes ahead in whole vectors; `avail` or more when there is none in them.
template <bool untilNul>
static inline uint32_t FirstNonData(const char *p, uint32_t avail, __m512i tableLow, __m512i tableHigh)
{
    uint32_t at = 0;
    for (; avail - at >= 64 && at <= 128; at += 64) {
        __m512i c = LoadText<untilNul>(p + at);
        __m512i v = _mm512_permutex2var_epi8(tableLow, c, tableHigh);
        __mmask64 nonData = _mm512_movepi8_mask(_mm512_or_si512(v, c));
        if (!_kortestz_mask64_u8(nonData, nonData)) return at + FirstLane(nonData);
    }
    return at > avail ? at : avail;
}

// DecodeLineGroups from a group's first window known only at run time.
template <bool untilNul, uint32_t LINE, uint32_t SEPARATOR, uint32_t GROUP_START = 0>
static inline __attribute__((always_inline)) uint32_t DecodeLineGroupsFrom(
    uint32_t first, const char *base, uint32_t avail, uint8_t *to, uintptr_t room, __m512i tableLow,
    __m512i tableHigh, __m512i separatorBytes)
{
    typedef LineShape<LINE, SEPARATOR> Shape;
    if constexpr (GROUP_START + Shape::GROUP < Shape::WINDOWS) {
        if (first != GROUP_START)
            return DecodeLineGroupsFrom<untilNul, LINE, SEPARATOR, GROUP_START + Shape::GROUP>(
                first, base, avail, to, room, tableLow, tableHigh, separatorBytes);
    }
    return DecodeLineGroups<untilNul, LINE, SEPARATOR, GROUP_START>(base, avail, to, room, tableLow, tableHigh,
                                                                    separatorBytes);
}

// Decodes whole lines from *in (a line's start) while the text keeps to the shape, the
// loads stay before `limit` and the stores before outEnd, and moves *in and *out past them.
// A period may start at any line. Where a group of windows stops (it broke the shape, the
// text's last line say, or it would pass the end of the text or the room), windows go one
// at a time up to the next group; where one of those stops, the rest of its line is tried
// by itself and the periods go on from the next line; where that fails too, the line's
// whole groups are decoded and the lines end. Without a length, `limit` is
// where the text is known to go on to (the end of a page holding it, to start with), and
// moves on as the scan for the NUL finds more.
template <bool untilNul, uint32_t LINE, uint32_t SEPARATOR>
static void DecodeLines(const char **in, const char *limit, uint8_t **out, const uint8_t *outEnd,
                        uint32_t separator, __m512i tableLow, __m512i tableHigh, __m512i lanes)
{
    typedef LineShape<LINE, SEPARATOR> Shape;
    constexpr const Shape &shape = LINE_SHAPE<LINE, SEPARATOR>;
    const __m512i separatorBytes = SEPARATOR == 2 ? _mm512_set1_epi16((short)separator)
                                                  : _mm512_set1_epi8((char)separator);
    const char *base = *in;
    uint8_t *to = *out;
    uint32_t j = 0;             // the next window of the period at `base`
    uint32_t pagesSeen = 0;
    int nulSeen = 0;

    for (;;) {
        // Groups of windows from a group's start; windows one at a time up to the next
        // group's start after a group that did not fit or broke the shape, which finds
        // where it broke.
        if (j % Shape::GROUP == 0)
            j = DecodeLineGroupsFrom<untilNul, LINE, SEPARATOR>(j, base, (uint32_t)(limit - base), to,
                                                               (uintptr_t)(outEnd - to), tableLow, tableHigh,
                                                               separatorBytes);
        if (j < Shape::WINDOWS) {
            int fits = (uint32_t)(limit - base) >= shape.offset[j] + 64;
            if (!fits && untilNul && !nulSeen) {
                // Past the text known to be there. With the rest of the page free of NULs
                // the next page is text too; a text that has gone on for megabytes gets its
                // NUL looked for well ahead instead, since out of the caches each of these
                // stops costs about a memory access, and the scan brings the text in early.
                const char *from = base + shape.offset[j];
                if (pagesSeen < LINES_PAGES_BEFORE_SCAN) {
                    // The span kernel's aligned blocks stay within this page.
                    uint32_t rest = (uint32_t)(limit - from);
                    if (TextSpanAvx512(from, rest) == rest) {
                        limit += PAGE_BYTES;
                        ++pagesSeen;
                        continue;
                    }
                } else {
                    uint32_t span = TextSpanAvx512(from, LINES_SCAN_AHEAD);
                    if (from + span > limit) limit = from + span;
                    if (span == LINES_SCAN_AHEAD) continue;
                    fits = (uint32_t)(limit - base) >= shape.offset[j] + 64;
                }
                nulSeen = 1;
            }
            if (fits && outEnd - to >= (ptrdiff_t)(WINDOW_BYTES * j + 64) &&
                DecodeLineWindowAt<untilNul, LINE, SEPARATOR>(j, base, to, separator, tableLow, tableHigh)) {
                ++j;
            } else {
                // The rest of this line by itself, then lines afresh from the next.
                const char *at = base + shape.offset[j];
                uint8_t *atTo = to + WINDOW_BYTES * j;
                uint32_t left = shape.lineLeft[j];
                if (!DecodeLinePiece<untilNul>(at, left, SEPARATOR, separator, limit, atTo, outEnd, tableLow,
                                               tableHigh, lanes)) {
                    // The lines end here, most often with the text's last: its data in
                    // whole groups, and the rest is the caller's.
                    uint32_t run = FirstNonData<untilNul>(at, (uint32_t)(limit - at), tableLow, tableHigh);
                    run = (run < left ? run : left) / 4 * 4;
                    if (DecodeDataRun<untilNul>(at, run, (uint32_t)(limit - at), atTo, outEnd, tableLow, tableHigh, lanes)) {
                        at += run;
                        atTo += run / 4 * 3;
                    }
                    base = at;
                    to = atTo;
                    break;
                }
                base = at + left + SEPARATOR;
                to = atTo + left / 4 * 3;
                j = 0;
                continue;
            }
        }
        if (j == Shape::WINDOWS) {
            base += shape.periodBytes;
            to += Shape::WINDOWS * WINDOW_BYTES;
            j = 0;
        }
    }
    *in = base;
    *out = to;
}

// Whether the text at *in (between groups) goes on as lines of a shape we have a loop for:
// the rest of this line, a separator, and a line of 64 or 76 characters followed by the
// same separator. If so, decodes them and the lines after them, moves *in and *out past
// what it decoded and returns 1: the lines' end is then the caller's.
template <bool untilNul>
static __attribute__((noinline)) int DecodeIfLines(const char **in, const char *limit, uint8_t **out,
                                                   const uint8_t *outEnd, __m512i tableLow, __m512i tableHigh,
                                                   __m512i lanes)
{
    const char *at = *in;
    uint32_t avail = (uint32_t)(limit - at);
    uint32_t rest = FirstNonData<untilNul>(at, avail, tableLow, tableHigh);
    if (rest >= avail || rest % 4 != 0 || avail - rest < 3) return 0;
    uint32_t first = (uint8_t)at[rest];
    if (first >= 0x80 || DECODE_TABLE.value[first] != 0x80) return 0;
    uint32_t second = (uint8_t)at[rest + 1];
    uint32_t separatorBytes = second < 0x80 && DECODE_TABLE.value[second] == 0x80 ? 2 : 1;
    uint32_t separator = separatorBytes == 2 ? first | second << 8 : first;
    uint32_t next = rest + separatorBytes;
    // The next line's length, from where the same separator follows it; the groups check
    // the characters themselves.
    uint32_t line = 0;
    if (avail - next >= 76 + separatorBytes && LoadSeparator<untilNul>(at + next + 76, separatorBytes) == separator)
        line = 76;
    else if (avail - next >= 64 + separatorBytes && LoadSeparator<untilNul>(at + next + 64, separatorBytes) == separator)
        line = 64;
    if (line == 0 || rest > line) return 0;
    // Between lines already, or the rest of this one by itself first.
    if (rest < line) {
        if (!DecodeLinePiece<untilNul>(at, rest, separatorBytes, separator, limit, *out, outEnd, tableLow, tableHigh, lanes))
            return 0;
        *in = at + next;
        *out += rest / 4 * 3;
    }
    if (line == 76 && separatorBytes == 2)
        DecodeLines<untilNul, 76, 2>(in, limit, out, outEnd, separator, tableLow, tableHigh, lanes);
    else if (line == 76)
        DecodeLines<untilNul, 76, 1>(in, limit, out, outEnd, separator, tableLow, tableHigh, lanes);
    else if (separatorBytes == 2)
        DecodeLines<untilNul, 64, 2>(in, limit, out, outEnd, separator, tableLow, tableHigh, lanes);
    else
        DecodeLines<untilNul, 64, 1>(in, limit, out, outEnd, separator, tableLow, tableHigh, lanes);
    return 1;
}

// The one decode loop, for a text of known length or (untilNul) one that ends at its NUL.
// Without a length, a load is safe while it stays within the page of bytes already known
// to be text; one that would enter the next page first looks for the NUL in the rest of
// this page, and stops there if it finds it: the text, and so the next page, goes on
// otherwise.
template <bool untilNul>
static inline uint32_t DecodeAvx512(const char *text, uint32_t length, uint8_t *output,
                                    uint32_t outputRoom, uint32_t *consumed)
{
    const __m512i tableLow = _mm512_loadu_si512((const void *)DECODE_TABLE.value);
    const __m512i tableHigh = _mm512_loadu_si512((const void *)(DECODE_TABLE.value + 64));
    const __m512i lanes = _mm512_loadu_si512((const void *)LANE_NUMBERS);
    // Values of data characters gathered across whitespace, kept in a register: going
    // through memory, each full vector would be loaded from pieces still in the store
    // queue and wait for them.
    __m512i held = _mm512_setzero_si512();
    uint32_t heldCount = 0, position = 0, written = 0;
    const char *linesFrom = text;

    while (untilNul || position < length) {
        // Two vectors a round, with one test for both, while the room and (without a
        // length) the bytes left in this page allow: the rounds are counted up front, so
        // the loops themselves check nothing else. A pair holding a byte that is neither
        // data nor whitespace is left to the vector-at-a-time steps below.
        uint32_t room = outputRoom - written;
        uint32_t pairs = room >= 112 ? (room - 16) / 96 : 0;
        uint32_t input = untilNul ? (uint32_t)(PAGE_BYTES - ((uintptr_t)(text + position) & (PAGE_BYTES - 1)))
                                  : length - position;
        if (pairs > input / 128) pairs = input / 128;
        const char *in = text + position;
        uint8_t *out = output + written;
        // Plain text between groups: the values go straight to the output.
        if (heldCount == 0) {
            for (; pairs != 0; --pairs) {
                __m512i c0 = untilNul ? LoadUnchecked(in) : _mm512_loadu_si512((const void *)in);
                __m512i c1 = untilNul ? LoadUnchecked(in + 64) : _mm512_loadu_si512((const void *)(in + 64));
                __m512i v0 = _mm512_permutex2var_epi8(tableLow, c0, tableHigh);
                __m512i v1 = _mm512_permutex2var_epi8(tableLow, c1, tableHigh);
                // 0xFE: a | b | c.
                __m512i either = _mm512_ternarylogic_epi32(v0, v1, _mm512_or_si512(c0, c1), 0xFE);
                __mmask64 nonData = _mm512_movepi8_mask(either);
                if (!_kortestz_mask64_u8(nonData, nonData)) break;
                _mm512_storeu_si512((void *)out, Pack(v0));
                _mm512_storeu_si512((void *)(out + 48), Pack(v1));
                in += 128;
                out += 96;
            }
            // Stopped by whitespace that may be a line break: lines of one length go
            // through their own loop. Tried once a place, so a text that only looks like
            // lines costs one look each time the loop gets here.
            if (pairs != 0 && in >= linesFrom) {
                const char *limit = untilNul ? in - ((uintptr_t)in & (PAGE_BYTES - 1)) + PAGE_BYTES : text + length;
                int lines = DecodeIfLines<untilNul>(&in, limit, &out, output + outputRoom, tableLow, tableHigh, lanes);
                linesFrom = in + 1;
                position = (uint32_t)(in - text);
                written = (uint32_t)(out - output);
                if (lines) break;
                continue;
            }
        }
        // Text with whitespace, or groups under way, in two passes a chunk: the first
        // compresses each vector's values and stores them one after another in a buffer
        // (a plain store at a moving offset), the second decodes the buffer's whole
        // vectors as plain text and moves the rest to its front. Neither pass carries
        // anything from vector to vector but the offset, and by the time the second
        // reads a vector its pieces have left the store queue.
        if (pairs != 0) {
            const __m512i valueBit = _mm512_set1_epi8(0x40);
            const __m512i spaceBit = _mm512_set1_epi8((char)0x80);
            const __m512i strayBits = _mm512_set1_epi8((char)0xC0);
            // The held values, a chunk's values, and room for the last 64-byte store.
            // Placed a quarter page from the text's own offset in a page: the stores into
            // it then never share their address's low 12 bits with the text loads near
            // them, which the CPU would take for a dependence and make the loads wait.
            alignas(64) uint8_t area[PAGE_BYTES + 64 + CHUNK_PAIRS * 128 + 64];
            uint8_t *buffer = area + (((uintptr_t)in + PAGE_BYTES / 4 - (uintptr_t)area) & (PAGE_BYTES - 64));
            _mm512_store_si512((void *)buffer, held);
            uint32_t fill = heldCount, stopped = 0;
            while (pairs != 0 && !stopped) {
                uint32_t chunk = pairs < CHUNK_PAIRS ? pairs : CHUNK_PAIRS;
                const char *chunkEnd = in + chunk * 128;
                for (; in != chunkEnd; in += 128) {
                    __m512i c0 = untilNul ? LoadUnchecked(in) : _mm512_loadu_si512((const void *)in);
                    __m512i c1 = untilNul ? LoadUnchecked(in + 64) : _mm512_loadu_si512((const void *)(in + 64));
                    __m512i v0 = _mm512_permutex2var_epi8(tableLow, c0, tableHigh);
                    __m512i v1 = _mm512_permutex2var_epi8(tableLow, c1, tableHigh);
                    // A byte with its top bit set, or one whose value has bit 6 (0xFF: not
                    // in the alphabet), is neither data nor whitespace. 0xE4: c ? a : b, so
                    // bit 6 comes from the value and the rest from the byte.
                    __m512i mixed = _mm512_or_si512(_mm512_ternarylogic_epi32(v0, c0, valueBit, 0xE4),
                                                    _mm512_ternarylogic_epi32(v1, c1, valueBit, 0xE4));
                    __mmask64 stray = _mm512_test_epi8_mask(mixed, strayBits);
                    if (!_kortestz_mask64_u8(stray, stray)) {
                        stopped = 1;
                        break;
                    }
                    __mmask64 keep0 = _mm512_testn_epi8_mask(v0, spaceBit);
                    __mmask64 keep1 = _mm512_testn_epi8_mask(v1, spaceBit);
                    _mm512_storeu_si512((void *)(buffer + fill), _mm512_maskz_compress_epi8(keep0, v0));
                    fill += CountBits(keep0);
                    _mm512_storeu_si512((void *)(buffer + fill), _mm512_maskz_compress_epi8(keep1, v1));
                    fill += CountBits(keep1);
                }
                pairs -= chunk;
                uint32_t vectors = fill / 64;
                for (uint32_t i = 0; i < vectors; ++i) {
                    _mm512_storeu_si512((void *)out, Pack(_mm512_load_si512((const void *)(buffer + i * 64))));
                    out += 48;
                }
                _mm512_store_si512((void *)buffer, _mm512_load_si512((const void *)(buffer + vectors * 64)));
                fill -= vectors * 64;
            }
            held = _mm512_load_si512((const void *)buffer);
            heldCount = fill;
        }
        position = (uint32_t)(in - text);
        written = (uint32_t)(out - output);
        if (!untilNul && position == length) break;
        // One vector at a time, up to the end of the text or the first byte that is
        // neither data nor whitespace: lanes past the end are loaded as zero, which stops
        // like any NUL.
        __m512i c;
        if (untilNul) {
            const char *at = text + position;
            uintptr_t inPage = (uintptr_t)at & (PAGE_BYTES - 1);
            if (inPage > PAGE_BYTES - 64) {
                __m512i last = LoadUnchecked(at - inPage + PAGE_BYTES - 64);
                __mmask64 nul = _mm512_testn_epi8_mask(last, last);
                // Lanes of the page's last 64 bytes from `at` on.
                __mmask64 ahead = _mm512_cmpge_epu8_mask(lanes, _mm512_set1_epi8((char)(inPage - (PAGE_BYTES - 64))));
                __mmask64 found = _kand_mask64(nul, ahead);
                // The text ends in this page: its rest is the tail of the page's last 64
                // bytes, moved down, with zeros after it (no masked load reaching into the
                // next page: see below).
                if (!_kortestz_mask64_u8(found, found)) {
                    __m512i skip = _mm512_set1_epi8((char)(inPage - (PAGE_BYTES - 64)));
                    c = _mm512_maskz_permutexvar_epi8(_mm512_cmplt_epu8_mask(lanes, _mm512_set1_epi8((char)(PAGE_BYTES - inPage))),
                                                      _mm512_add_epi8(lanes, skip), last);
                } else {
                    c = LoadUnchecked(at);
                }
            } else {
                c = LoadUnchecked(at);
            }
        } else if (length - position >= 64) {
            c = _mm512_loadu_si512((const void *)(text + position));
        } else {
            // The last characters, with zeros after them. A masked load whose 64 bytes
            // reach into the next page runs many times slower (it made a whole 4 KiB
            // decode run at half its speed), so then the text's last 64 bytes are moved
            // down instead, or, in a text that short, the caller takes the rest.
            uint32_t left = length - position;
            __mmask64 inText = _mm512_cmplt_epu8_mask(lanes, _mm512_set1_epi8((char)left));
            if (((uintptr_t)(text + position) & (PAGE_BYTES - 1)) <= PAGE_BYTES - 64)
                c = _mm512_maskz_loadu_epi8(inText, text + position);
            else if (length >= 64)
                c = _mm512_maskz_permutexvar_epi8(inText, _mm512_add_epi8(lanes, _mm512_set1_epi8((char)(64 - left))),
                                                  _mm512_loadu_si512((const void *)(text + length - 64)));
            else
                break;
        }
        __m512i values = _mm512_permutex2var_epi8(tableLow, c, tableHigh);
        // A set top bit in the value or the byte itself: not an alphabet character.
        __mmask64 nonData = _mm512_movepi8_mask(_mm512_or_si512(values, c));
        // Masks are tested in the mask registers: 32-bit code has no 64-bit general
        // register and would move each mask through the stack to compare it.
        if (heldCount == 0 && _kortestz_mask64_u8(nonData, nonData)) {
            // A whole store where the room allows: the 16 bytes past the group's 48 are
            // rewritten by the next store, and a plain store is cheaper than a masked one.
            if (outputRoom - written >= 64)
                _mm512_storeu_si512((void *)(output + written), Pack(values));
            else if (outputRoom - written >= 48)
                _mm512_mask_storeu_epi8(output + written, LOW_48, Pack(values));
            else
                break;
            written += 48;
            position += 64;
            continue;
        }
        uint32_t count = 64, take = 64;
        if (!_kortestz_mask64_u8(nonData, nonData)) {
            __mmask64 space = _kandn_mask64(_mm512_movepi8_mask(c),
                                            _mm512_cmpeq_epi8_mask(values, _mm512_set1_epi8((char)0x80)));
            __mmask64 stray = _kandn_mask64(space, nonData);
            __mmask64 keep = _knot_mask64(nonData);
            // '=', NUL or a stray byte: the characters before it are taken, and the
            // caller decides about the rest.
            if (!_kortestz_mask64_u8(stray, stray)) {
                take = FirstLane(stray);
                keep = _kand_mask64(keep, _mm512_cmplt_epu8_mask(lanes, _mm512_set1_epi8((char)take)));
            }
            values = _mm512_maskz_compress_epi8(keep, values);
            count = CountBits(keep);
        }
        position += take;
        // Rotate the new values to start at lane heldCount; the lanes from there on
        // complete the held ones, and what wraps round is held for the next vector.
        __m512i shift = _mm512_set1_epi8((char)heldCount);
        __m512i rotated = Permute(_mm512_sub_epi8(lanes, shift), values);
        __m512i merged = _mm512_mask_blend_epi8(_mm512_cmpge_epu8_mask(lanes, shift), held, rotated);
        if (heldCount + count < 64) {
            held = merged;
            heldCount += count;
            if (take < 64) break;
            continue;
        }
        heldCount += count - 64;
        if (outputRoom - written < 48) {
            // The 64 values stay held, for the whole groups that still fit.
            held = merged;
            heldCount += 64;
            break;
        }
        if (outputRoom - written >= 64) _mm512_storeu_si512((void *)(output + written), Pack(merged));
        else _mm512_mask_storeu_epi8(output + written, LOW_48, Pack(merged));
        written += 48;
        held = rotated;
        if (take < 64) break;
    }
    // The whole groups among the held values go out too (as far as the room allows), so
    // the caller goes character by character over fewer than 4 of them.
    if (heldCount >= 4) {
        uint32_t groups = heldCount / 4, fit = (outputRoom - written) / 3;
        if (groups > fit) groups = fit;
        if (groups > 16) groups = 16;
        if (groups) {
            // Through a buffer rather than a masked store: with the output page-aligned,
            // the masked store at its end (its 64 bytes reaching into the next page) made
            // a whole 4 KiB decode more than twice as slow.
            alignas(64) uint8_t bytes[64];
            _mm512_store_si512((void *)bytes, Pack(held));
            for (uint32_t i = 0; i < groups * 3; ++i) output[written + i] = bytes[i];
            written += groups * 3;
            heldCount -= groups * 4;
        }
    }
    *consumed = EndOfDecodedGroups(text, position, heldCount);
    return written;
}

uint32_t DecodeBlocksAvx512(const char *text, uint32_t length, uint8_t *output,
                            uint32_t outputRoom, uint32_t *consumed)
{
    return DecodeAvx512<false>(text, length, output, outputRoom, consumed);
}

uint32_t DecodeTextAvx512(const char *text, uint8_t *output, uint32_t outputRoom, uint32_t *consumed)
{
    return DecodeAvx512<true>(text, 0, output, outputRoom, consumed);
}

// Two aligned 64-byte blocks of one 128-byte pair per round.
READS_WHOLE_BLOCKS uint32_t TextSpanAvx512(const char *text, uint32_t limit)
{
    uint32_t skew = (uint32_t)((uintptr_t)text & 63);
    uint32_t n = 64 - skew;
    __m512i c = _mm512_load_si512((const void *)(text - skew));
    uint64_t nul = (uint64_t)_mm512_testn_epi8_mask(c, c) >> skew;

    if (nul) return (uint32_t)__builtin_ctzll(nul) < limit ? (uint32_t)__builtin_ctzll(nul) : limit;
    // Every block read below holds a byte not yet known to lie past the NUL, or shares an
    // aligned 128 bytes with one.
    while (n < limit) {
        const char *block = text + n;
        c = _mm512_load_si512((const void *)block);
        if (((uintptr_t)block & 127) == 0) {
            __m512i next = _mm512_load_si512((const void *)(block + 64));
            if (!_mm512_testn_epi8_mask(_mm512_min_epu8(c, next), _mm512_min_epu8(c, next))) {
                n += 128;
                continue;
            }
        }
        nul = (uint64_t)_mm512_testn_epi8_mask(c, c);
        if (nul) return limit - n > (uint32_t)__builtin_ctzll(nul) ? n + (uint32_t)__builtin_ctzll(nul) : limit;
        n += 64;
    }
    return limit;
}
