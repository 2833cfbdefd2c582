// codec/core/avx512/lines.cpp -- the AVX-512 decoder's second method: text broken into lines
// of one length by one separator, decoded in windows of 60 characters without compressing.
#include "codec/core/avx512/vectors.h"
#include "codec/core/line_loop.h"

#include <utility>

namespace {

// Text broken into lines of one length by one separator (MIME's 76 characters and CR LF,
// PEM's 64 and LF) is decoded without compressing, in windows of 60 data characters: with
// a separator of at most 2 bytes they fit one 64-byte load, from which a byte permute drops
// the separator, and the separator itself is checked in the same load. (Windows of 64 would
// need a second load for their last bytes, and loads are what the decoding waits for.)
// Where the windows start and break repeats every 15 lines, so each common shape has that
// period unrolled with those as constants.
const uint32_t WINDOW_CHARS = 60;
const uint32_t WINDOW_BYTES = WINDOW_CHARS / 4 * 3;
// A window's data lanes as 32-bit lanes (0-14), and the last one (lanes 60-63): a
// separator's, or in a window within a line characters the next window takes.
const __mmask16 DATA_DWORDS = 0x7FFF;

template <uint32_t LINE, uint32_t SEPARATOR>
struct WindowPlan {
    static_assert(LINE == 64 || LINE == 76, "a line length with its own period");
    static_assert(SEPARATOR == 1 || SEPARATOR == 2, "a separator of one or two bytes");
    static constexpr uint32_t WINDOWS = 15 * LINE / WINDOW_CHARS;
    uint32_t offset[WINDOWS];     // of each window's first character, from the period's start
    uint32_t lineLeft[WINDOWS];   // characters of its line from its first one on
    uint32_t periodBytes;
};

template <uint32_t LINE, uint32_t SEPARATOR>
constexpr WindowPlan<LINE, SEPARATOR> MakeWindowPlan(void)
{
    WindowPlan<LINE, SEPARATOR> shape{};
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
constexpr WindowPlan<LINE, SEPARATOR> WINDOW_PLAN = MakeWindowPlan<LINE, SEPARATOR>();

// Row k drops a separator that starts at lane 4k, the 60 characters around it taking lanes
// 0-59, and puts the separator's bytes in lanes 60-63 (repeated as a vector of separators
// has them): so the separator is checked in the vectors, beside the data, with no compare
// into a mask register and no move out of one for every window.
struct SkipIndexes {
    uint8_t row[16][64];
};

template <uint32_t SEPARATOR>
constexpr SkipIndexes MakeSkipIndexes(void)
{
    SkipIndexes t{};
    for (uint32_t k = 0; k < 16; ++k)
        for (uint32_t i = 0; i < 64; ++i)
            t.row[k][i] = (uint8_t)(i >= WINDOW_CHARS ? 4 * k + (i - WINDOW_CHARS) % SEPARATOR
                                                      : i < 4 * k ? i : i + SEPARATOR);
    return t;
}

template <uint32_t SEPARATOR>
alignas(64) constexpr SkipIndexes SKIP_INDEXES = MakeSkipIndexes<SEPARATOR>();


// The 64 bytes of window J of a period at `base` (nothing past the period's last window).
template <bool untilNul, uint32_t LINE, uint32_t SEPARATOR, uint32_t J>
inline __attribute__((always_inline)) __m512i LoadLineWindow(const char *base)
{
    if constexpr (J < WindowPlan<LINE, SEPARATOR>::WINDOWS)
        return LoadText<untilNul>(base + WINDOW_PLAN<LINE, SEPARATOR>.offset[J]);
    else
        return _mm512_setzero_si512();
}

// Whether window J of a period holds a separator (and is permuted).
template <uint32_t LINE, uint32_t SEPARATOR, uint32_t J>
constexpr bool HOLDS_SEPARATOR = J < WindowPlan<LINE, SEPARATOR>::WINDOWS &&
                                 WINDOW_PLAN<LINE, SEPARATOR>.lineLeft[J] <= WINDOW_CHARS;

// The values of window J of a period, loaded as `c`: its first 60 lanes decode to its 45
// bytes. A separator window's characters, separator moved to lanes 60-63, go into `wrong`
// against `separatorTail` (the separator there, zero elsewhere): in one step its data lanes
// gain the top bit of a byte from 0x80 up and lanes 60-63 any difference from the
// separator. The caller adds the values (and a window within a line its characters) to
// `seen`, whose lanes 0-59 then have a top bit set for any byte that is not data; lanes
// 60-63 of a window within a line are characters the next window checks and decodes.
template <uint32_t LINE, uint32_t SEPARATOR, uint32_t J>
inline __attribute__((always_inline)) __m512i LineWindowValues(__m512i c, __m512i tableLow, __m512i tableHigh,
                                                               __m512i separatorTail, __m512i &wrong)
{
    if constexpr (HOLDS_SEPARATOR<LINE, SEPARATOR, J>) {
        constexpr uint32_t left = WINDOW_PLAN<LINE, SEPARATOR>.lineLeft[J];
        c = Permute(_mm512_load_si512((const void *)SKIP_INDEXES<SEPARATOR>.row[left / 4]), c);
        wrong = _mm512_ternarylogic_epi32(wrong, c, separatorTail, 0xF6);   // a | (b ^ c)
    }
    return _mm512_permutex2var_epi8(tableLow, c, tableHigh);
}

// A period's windows go in groups, each group's loads ahead of its stores: loads then wait
// less (1.02-1.03 x as fast in both compilers' builds). Four a group where the registers
// hold them, their 180 bytes in three stores; 32-bit code has 8 vector registers and takes
// one window at a time. Window J's bytes go to to + 45 * J, each store reaching up to 19
// bytes further.
#if defined(__x86_64__)
const uint32_t WINDOWS_LOADED_TOGETHER = 4;
#else
const uint32_t WINDOWS_LOADED_TOGETHER = 1;
#endif

// How many vectors window j adds to `seen`: its values, and a window within a line its
// characters too; none past the period's last window.
template <uint32_t LINE, uint32_t SEPARATOR>
constexpr uint32_t SeenInputs(uint32_t j)
{
    if (j >= WindowPlan<LINE, SEPARATOR>::WINDOWS) return 0;
    return WINDOW_PLAN<LINE, SEPARATOR>.lineLeft[j] <= WINDOW_CHARS ? 1 : 2;
}

template <uint32_t LINE, uint32_t SEPARATOR, uint32_t FIRST>
constexpr uint32_t SeenInputsBefore(uint32_t k)
{
    uint32_t n = 0;
    for (uint32_t i = 0; i < k; ++i) n += SeenInputs<LINE, SEPARATOR>(FIRST + i);
    return n;
}

// Window J's values (and perhaps characters) into the group's list for `seen`, from `at`.
template <uint32_t LINE, uint32_t SEPARATOR, uint32_t J, uint32_t at>
inline __attribute__((always_inline)) void ListForSeen(__m512i *list, __m512i v, __m512i c)
{
    if constexpr (SeenInputs<LINE, SEPARATOR>(J) >= 1) list[at] = v;
    if constexpr (SeenInputs<LINE, SEPARATOR>(J) == 2) list[at + 1] = c;
}

// `seen` gains the first N vectors of `list`, two a step.
template <uint32_t N>
inline __attribute__((always_inline)) void AddToSeen(__m512i &seen, const __m512i *list)
{
    if constexpr (N >= 2) {
        seen = _mm512_ternarylogic_epi32(seen, list[0], list[1], 0xFE);   // a | b | c
        AddToSeen<N - 2>(seen, list + 2);
    } else if constexpr (N == 1) {
        // Not a plain OR: gcc reorders a chain of those to the period's end and spills the
        // values meanwhile (32-bit code, with its 8 registers, takes this step every window).
        seen = _mm512_ternarylogic_epi32(seen, list[0], list[0], 0xFE);
    }
}

// Window J's values from its load, and its bytes stored by themselves; nothing past the
// period's last window.
template <uint32_t LINE, uint32_t SEPARATOR, uint32_t J>
inline __attribute__((always_inline)) void TakeLineWindow(__m512i c, __m512i &v, __m512i tableLow, __m512i tableHigh,
                                                          __m512i separatorTail, __m512i &wrong)
{
    if constexpr (J < WindowPlan<LINE, SEPARATOR>::WINDOWS)
        v = LineWindowValues<LINE, SEPARATOR, J>(c, tableLow, tableHigh, separatorTail, wrong);
}

template <uint32_t LINE, uint32_t SEPARATOR, uint32_t J>
inline __attribute__((always_inline)) void StoreLineWindow(uint8_t *to, __m512i v)
{
    if constexpr (J < WindowPlan<LINE, SEPARATOR>::WINDOWS)
        _mm512_storeu_si512((void *)(to + WINDOW_BYTES * J), Pack(v));
}

template <bool untilNul, uint32_t LINE, uint32_t SEPARATOR, uint32_t FIRST, uint32_t... K>
inline __attribute__((always_inline)) void DecodeLineWindowGroup(const char *base, uint8_t *to, __m512i tableLow,
                                                                 __m512i tableHigh, __m512i separatorTail,
                                                                 __m512i &seen, __m512i &wrong,
                                                                 std::integer_sequence<uint32_t, K...>)
{
    __m512i c[] = {LoadLineWindow<untilNul, LINE, SEPARATOR, FIRST + K>(base)...};
    __m512i v[] = {c[K]...};
    (TakeLineWindow<LINE, SEPARATOR, FIRST + K>(c[K], v[K], tableLow, tableHigh, separatorTail, wrong), ...);
    // The group's inputs to `seen` in one list, so that each three-input step takes two.
    constexpr uint32_t inputs = SeenInputsBefore<LINE, SEPARATOR, FIRST>(sizeof...(K));
    __m512i list[2 * sizeof...(K)];
    (ListForSeen<LINE, SEPARATOR, FIRST + K, SeenInputsBefore<LINE, SEPARATOR, FIRST>(K)>(list, v[K], c[K]), ...);
    AddToSeen<inputs>(seen, list);
#if defined(__x86_64__)
    if constexpr (sizeof...(K) == 4 && FIRST + 4 <= WindowPlan<LINE, SEPARATOR>::WINDOWS) {
        StoreFourAsThree<WINDOW_BYTES>(to + WINDOW_BYTES * FIRST, v[0], v[1], v[2], v[3]);
        return;
    }
#endif
    (StoreLineWindow<LINE, SEPARATOR, FIRST + K>(to, v[K]), ...);
}

template <bool untilNul, uint32_t LINE, uint32_t SEPARATOR, uint32_t... J>
inline __attribute__((always_inline)) void DecodeLineWindows(const char *base, uint8_t *to, __m512i tableLow,
                                                             __m512i tableHigh, __m512i separatorTail, __m512i &seen,
                                                             __m512i &wrong, std::integer_sequence<uint32_t, J...>)
{
    (DecodeLineWindowGroup<untilNul, LINE, SEPARATOR, J * WINDOWS_LOADED_TOGETHER>(
         base, to, tableLow, tableHigh, separatorTail, seen, wrong,
         std::make_integer_sequence<uint32_t, WINDOWS_LOADED_TOGETHER>()),
     ...);
}

// Whether a period's windows held whitespace or a stray byte where data belongs, or a wrong
// separator: two tests against constant lanes and one branch, all in the mask registers
// (moved to general registers, the masks cost a transfer each and clang's build of the
// loop without a length a third of its speed).
inline int StrayOrWrong(__m512i seen, __m512i wrong)
{
    const __m512i dataTopBits = _mm512_maskz_set1_epi32(DATA_DWORDS, (int)0x80808080);
    // The top bit of the data lanes, every bit of the separator's.
    const __m512i wrongBits = _mm512_mask_set1_epi32(dataTopBits, (__mmask16)~DATA_DWORDS, -1);
    __mmask64 failed = _kor_mask64(_mm512_test_epi8_mask(seen, dataTopBits), _mm512_test_epi8_mask(wrong, wrongBits));
    return !_kortestz_mask64_u8(failed, failed);
}

// The windows of a period at `base`, checked once at the end: a period whose text breaks
// the shape (the text's last line, say) is done again a window at a time. 1 when it kept
// to the shape. The loads stay within the period's reach, the stores within WINDOW_BYTES *
// (WINDOWS - 1) + 64 bytes.
template <bool untilNul, uint32_t LINE, uint32_t SEPARATOR>
inline __attribute__((always_inline)) int DecodeLinePeriod(const char *base, uint8_t *to, __m512i tableLow,
                                                           __m512i tableHigh, __m512i separatorTail)
{
    constexpr uint32_t groups = (WindowPlan<LINE, SEPARATOR>::WINDOWS + WINDOWS_LOADED_TOGETHER - 1) /
                               WINDOWS_LOADED_TOGETHER;
    __m512i seen = _mm512_setzero_si512(), wrong = _mm512_setzero_si512();
    DecodeLineWindows<untilNul, LINE, SEPARATOR>(base, to, tableLow, tableHigh, separatorTail, seen, wrong,
                                                 std::make_integer_sequence<uint32_t, groups>());
    // The usual way on laid out straight: clang made it a jump in one of its builds, and that
    // build ran at two thirds of the speed of the other.
    return !__builtin_expect(StrayOrWrong(seen, wrong), 0);
}

// `chars` data characters at `at` (a multiple of 4, at most 128), of which `readable`
// bytes may be read, checked before anything moves on. Stores up to 64 bytes at `to`
// whatever it finds; 1 when they are all data.
template <bool untilNul>
inline int DecodeDataRun(const char *at, uint32_t chars, uint32_t readable, uint8_t *to,
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
inline int DecodeLinePiece(const char *at, uint32_t chars, uint32_t separatorBytes,
                                  uint32_t separator, const char *limit, uint8_t *to,
                                  const uint8_t *outEnd, __m512i tableLow, __m512i tableHigh,
                                  __m512i lanes)
{
    uint32_t readable = (uint32_t)(limit - at);
    if (readable < chars + separatorBytes) return 0;
    if (SeparatorAt<untilNul>(at + chars, separatorBytes) != separator) return 0;
    return DecodeDataRun<untilNul>(at, chars, readable, to, outEnd, tableLow, tableHigh, lanes);
}

// Window j of a period at `base`, known only at run time and checked at once: for the
// windows where a group would read past the text known to be there.
template <bool untilNul, uint32_t LINE, uint32_t SEPARATOR>
inline int DecodeLineWindowAt(uint32_t j, const char *base, uint8_t *to, uint32_t separator,
                                     __m512i tableLow, __m512i tableHigh)
{
    const WindowPlan<LINE, SEPARATOR> &shape = WINDOW_PLAN<LINE, SEPARATOR>;
    uint32_t left = shape.lineLeft[j];
    const char *at = base + shape.offset[j];
    if (left <= WINDOW_CHARS && SeparatorAt<untilNul>(at + left, SEPARATOR) != separator) return 0;
    __m512i c = LoadText<untilNul>(at);
    if (left <= WINDOW_CHARS) c = Permute(_mm512_load_si512((const void *)SKIP_INDEXES<SEPARATOR>.row[left / 4]), c);
    __m512i v = _mm512_permutex2var_epi8(tableLow, c, tableHigh);
    // The separator was checked above; lanes 60-63 are its bytes, or the next window's.
    __mmask64 stray = _kand_mask64(_mm512_movepi8_mask(_mm512_or_si512(v, c)), _cvtu64_mask64(~0ull >> 4));
    if (!_kortestz_mask64_u8(stray, stray)) return 0;
    _mm512_storeu_si512((void *)(to + WINDOW_BYTES * j), Pack(v));
    return 1;
}

// The offset of the first byte from `p` that is not an alphabet character, looking at most
// `avail` bytes ahead in whole vectors; `avail` or more when there is none in them.
template <bool untilNul>
inline uint32_t FirstNonData(const char *p, uint32_t avail, __m512i tableLow, __m512i tableHigh)
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

// Without a length: the characters from `from` (all before it already taken as lines) to
// *limit hold no NUL, so the text goes on past *limit; returns 1 with *limit a page further
// on, or 0 when the NUL is near (*limit then ends the text as far as it is known). A page
// at a time however long the text: the scan is of the bytes the next period reads anyway,
// where a scan well ahead would read the text twice, the second time from the caches but
// the first without the decoding beside it.
inline int ReadFurtherInLines(const char *from, const char **limit)
{
    // The span kernel's aligned blocks stay within this page.
    uint32_t rest = (uint32_t)(*limit - from);
    if (AlignedSpan<Avx512Blocks, false>(from, rest) != rest) return 0;
    *limit += PAGE_BYTES;
    return 1;
}

// Decodes whole lines from *in (a line's start) while the text keeps to the shape, the
// loads stay before `limit` and the stores before outEnd, and moves *in and *out past them.
// A period may start at any line. Where a period stops (it broke the shape, the text's last
// line say, or it would pass the end of the text or the room), windows go one at a time
// up to its end; where one of those stops, the rest of its line is tried by itself and the
// periods go on from the next line; where that fails too, the line's whole groups are
// decoded and the lines end. Without a length, `limit` is where the text is known to go on
// to (the end of a page holding it, to start with), and moves on as the scan for the NUL
// finds more.
template <bool untilNul, uint32_t LINE, uint32_t SEPARATOR>
void DecodeLines(const char **in, const char *limit, uint8_t **out, const uint8_t *outEnd,
                        uint32_t separator, __m512i tableLow, __m512i tableHigh, __m512i lanes)
{
    typedef WindowPlan<LINE, SEPARATOR> Shape;
    constexpr const Shape &shape = WINDOW_PLAN<LINE, SEPARATOR>;
    const char *base = *in;
    uint8_t *to = *out;
    uint32_t j = 0;             // the next window of the period at `base`
    int nulSeen = 0;
    // The bytes a period's loads and stores reach.
    const uint32_t PERIOD_REACH = shape.offset[Shape::WINDOWS - 1] + 64;
    const uint32_t PERIOD_ROOM = WINDOW_BYTES * (Shape::WINDOWS - 1) + 64;
    const uint32_t PERIOD_BYTES_OUT = WINDOW_BYTES * Shape::WINDOWS;
    // The separator as lanes 60-63 of a window hold it (SkipIndexes), zero in the data lanes.
    const __m512i separatorTail = SEPARATOR == 2
                                      ? _mm512_maskz_set1_epi16(0xC0000000u, (short)separator)
                                      : _mm512_maskz_set1_epi8(0xF000000000000000ull, (char)separator);

    for (;;) {
        // Whole periods, as many as fit in the room and (but without a length) lie within
        // the text known to be there, counted first so that the loop over them tests little
        // else but the shape. Without a length, a period that would pass the text known
        // first looks for the NUL in the rest of the page, inside the loop: so a page's end
        // costs a short scan, where leaving the loop at each page cost a tenth of the speed
        // the form with a length has. Once the NUL is near, what is left after the periods
        // goes by windows.
        if (j == 0) {
            uint32_t text = (uint32_t)(limit - base);
            uintptr_t room = (uintptr_t)(outEnd - to);
            uint32_t fit = text >= PERIOD_REACH ? (text - PERIOD_REACH) / shape.periodBytes + 1 : 0;
            if (untilNul && !nulSeen) fit = ~0u;
            uintptr_t roomFit = room >= PERIOD_ROOM ? (room - PERIOD_ROOM) / PERIOD_BYTES_OUT + 1 : 0;
            uint32_t periodsLeft = fit = roomFit < fit ? (uint32_t)roomFit : fit;
            while (periodsLeft != 0) {
                if (untilNul && !nulSeen && (uint32_t)(limit - base) < PERIOD_REACH &&
                    !ReadFurtherInLines(base, &limit)) {
                    nulSeen = 1;
                    break;
                }
                if (!DecodeLinePeriod<untilNul, LINE, SEPARATOR>(base, to, tableLow, tableHigh, separatorTail)) break;
                base += shape.periodBytes;
                to += PERIOD_BYTES_OUT;
                --periodsLeft;
            }
            if (periodsLeft == 0) {
                // All that fitted went: see what fits now.
                if (fit != 0) continue;
                if (untilNul && !nulSeen && text < PERIOD_REACH) {
                    if (ReadFurtherInLines(base, &limit)) continue;
                    nulSeen = 1;
                }
            }
        }
        // Windows one at a time after a period that did not fit or broke the shape, which
        // finds where it broke.
        if (j < Shape::WINDOWS) {
            if (untilNul && !nulSeen && (uint32_t)(limit - base) < shape.offset[j] + 64) {
                if (ReadFurtherInLines(base + shape.offset[j], &limit)) continue;
                nulSeen = 1;
            }
            int fits = (uint32_t)(limit - base) >= shape.offset[j] + 64;
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

}  // namespace

// Whether the text at `in` (between groups) goes on as lines of a shape the windows take:
// the rest of this line, a separator, and a line of 64 or 76 characters followed by the
// same separator. If so, decodes them and the lines after them and returns where they
// ended, with `found` set: the lines' end is then the caller's.
template <bool untilNul>
LinesEnd DecodeIfLinesAvx512(const char *in, uint8_t *out, const char *limit, const uint8_t *outEnd,
                             __m512i tableLow, __m512i tableHigh, __m512i lanes)
{
    LinesEnd end = {in, out, 0};
    uint32_t avail = (uint32_t)(limit - in);
    uint32_t rest = FirstNonData<untilNul>(in, avail, tableLow, tableHigh);
    LineShape shape;
    if (rest >= avail || !FindLineShape<untilNul>(in, rest, avail, &shape) || rest > shape.line) return end;
    // Between lines already, or the rest of this one by itself first.
    if (rest < shape.line) {
        if (!DecodeLinePiece<untilNul>(in, rest, shape.separatorBytes, shape.separator, limit, out, outEnd, tableLow,
                                       tableHigh, lanes))
            return end;
        end.in = in + rest + shape.separatorBytes;
        end.out = out + rest / 4 * 3;
    }
    ForLineShape(shape, [&](auto line, auto separatorBytes) {
        DecodeLines<untilNul, decltype(line)::value, decltype(separatorBytes)::value>(
            &end.in, limit, &end.out, outEnd, shape.separator, tableLow, tableHigh, lanes);
        return 1;
    });
    end.found = 1;
    return end;
}

template LinesEnd DecodeIfLinesAvx512<false>(const char *, uint8_t *, const char *, const uint8_t *, __m512i,
                                             __m512i, __m512i);
template LinesEnd DecodeIfLinesAvx512<true>(const char *, uint8_t *, const char *, const uint8_t *, __m512i,
                                            __m512i, __m512i);
