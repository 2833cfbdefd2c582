// codec/core/avx512/decode.cpp -- the AVX-512 decoders: 64-byte vectors through one two-table
// byte permute, plain text two vectors a round, values gathered across whitespace by byte
// compress (VBMI2), line-broken text through lines.cpp. The loop's phases are steps of their
// own, each inlined, so the generated loop is the one it would be written in one piece.
#include "codec/core/avx512/vectors.h"

namespace {

// Pairs of text vectors whose values are gathered before they are decoded.
const uint32_t CHUNK_PAIRS = 16;

// What the decode carries from step to step; the tables stay the same throughout.
struct Decoding {
    __m512i tableLow, tableHigh, lanes;
    const char *text;
    uint32_t length;            // ignored without one
    uint8_t *output;
    uint32_t outputRoom;
    uint32_t position, written;
    // Values of data characters gathered across whitespace, kept in a register: going
    // through memory, each full vector would be loaded from pieces still in the store queue
    // and wait for them.
    __m512i held;
    uint32_t heldCount;
    const char *linesFrom;      // where the line loop may be tried next
    // Without a length: the bytes before this may be read, the rest of the pages known to
    // hold the text so far.
    const char *readableEnd;
};

// Rounds of two vectors the room and (without a length) the bytes left in this page allow:
// counted up front, so the loops themselves check nothing else.
template <bool untilNul>
inline __attribute__((always_inline)) uint32_t PairsInReach(Decoding &d)
{
    const char *at = d.text + d.position;
    // The steps that go a vector at a time may have taken the text past the pages known:
    // what they took was text, so the text goes on into the page they reached.
    if (untilNul && at >= d.readableEnd) d.readableEnd = at - ((uintptr_t)at & (PAGE_BYTES - 1)) + PAGE_BYTES;
    uint32_t room = d.outputRoom - d.written;
    uint32_t pairs = room >= 112 ? (room - 16) / 96 : 0;
    uint32_t input = untilNul ? (uint32_t)(d.readableEnd - at) : d.length - d.position;
    return pairs < input / 128 ? pairs : input / 128;
}

// Without a length, plain text that has come within a pair of the end of the pages known to
// hold it: when the rest holds no NUL the text goes on into the next page, and the pairs go
// on there rather than the slower steps taking the page's end. Returns 1 when it does.
inline __attribute__((always_inline)) int ReadFurtherPlain(Decoding &d, const char *in)
{
    uint32_t rest = (uint32_t)(d.readableEnd - in);
    if (rest >= 128 || AlignedSpan<Avx512Blocks, false>(in, rest) != rest) return 0;
    d.readableEnd += PAGE_BYTES;
    return 1;
}

// A vector of text loaded once and kept in a register: gcc otherwise loads the same bytes
// again where an instruction can take them from memory, and a text not aligned to 64 bytes
// pays for each load twice.
template <bool untilNul>
inline __attribute__((always_inline)) __m512i LoadTextOnce(const char *p)
{
    __m512i c = LoadText<untilNul>(p);
    __asm__("" : "+v"(c));
    return c;
}

// Whether two vectors of text hold data characters only, from the text and its values: a
// set top bit in either marks every other byte.
inline __attribute__((always_inline)) int PairIsData(__m512i c0, __m512i c1, __m512i v0, __m512i v1)
{
    // 0xFE: a | b | c.
    __mmask64 nonData = _mm512_movepi8_mask(_mm512_ternarylogic_epi32(v0, v1, _mm512_or_si512(c0, c1), 0xFE));
    return _kortestz_mask64_u8(nonData, nonData);
}

// Plain text between groups, the values straight to the output, a pair of vectors with one
// test. Returns the pairs left: non-zero when a pair held a byte that is not data.
template <bool untilNul>
inline __attribute__((always_inline)) uint32_t DecodePlainPairs(const char *&in, uint8_t *&out, uint32_t pairs,
                                                                __m512i tableLow, __m512i tableHigh)
{
#if defined(__x86_64__)
    // Two pairs a round where the registers allow (32-bit code has 8 vector registers),
    // each tested, and stored once both pass: the round's four loads go ahead of any store,
    // which a text not aligned to 64 bytes needs (1.05-1.1 x as fast there in both
    // compilers' builds), and its 192 bytes go out in three stores (1.05 x in the mingw
    // build). When a test fails, the loop below finds the byte. Nothing is asked for ahead
    // (see the encoder): text in the L3 cache gained 1.03-1.08 x, text in memory lost as
    // much or more.
    for (; pairs >= 2; pairs -= 2) {
        __m512i c0 = LoadTextOnce<untilNul>(in);
        __m512i c1 = LoadTextOnce<untilNul>(in + 64);
        __m512i c2 = LoadTextOnce<untilNul>(in + 128);
        __m512i c3 = LoadTextOnce<untilNul>(in + 192);
        __m512i v0 = _mm512_permutex2var_epi8(tableLow, c0, tableHigh);
        __m512i v1 = _mm512_permutex2var_epi8(tableLow, c1, tableHigh);
        __m512i v2 = _mm512_permutex2var_epi8(tableLow, c2, tableHigh);
        __m512i v3 = _mm512_permutex2var_epi8(tableLow, c3, tableHigh);
        if (!PairIsData(c0, c1, v0, v1) || !PairIsData(c2, c3, v2, v3)) break;
        StoreFourAsThree<48>(out, v0, v1, v2, v3);
        in += 256;
        out += 192;
    }
#endif
    for (; pairs != 0; --pairs) {
        __m512i c0 = LoadTextOnce<untilNul>(in);
        __m512i c1 = LoadTextOnce<untilNul>(in + 64);
        __m512i v0 = _mm512_permutex2var_epi8(tableLow, c0, tableHigh);
        __m512i v1 = _mm512_permutex2var_epi8(tableLow, c1, tableHigh);
        if (!PairIsData(c0, c1, v0, v1)) break;
        _mm512_storeu_si512((void *)out, Pack(v0));
        _mm512_storeu_si512((void *)(out + 48), Pack(v1));
        in += 128;
        out += 96;
    }
    return pairs;
}

// Text with whitespace, or groups under way, in two passes a chunk: the first compresses
// each vector's values and stores them one after another in a buffer (a plain store at a
// moving offset), the second decodes the buffer's whole vectors as plain text and moves the
// rest to its front. Neither pass carries anything from vector to vector but the offset, and
// by the time the second reads a vector its pieces have left the store queue. Stops before a
// pair holding a byte that is neither data nor whitespace.
template <bool untilNul>
inline __attribute__((always_inline)) void GatherPairs(Decoding &d, const char *&in, uint8_t *&out, uint32_t pairs)
{
    const __m512i valueBit = _mm512_set1_epi8(0x40);
    const __m512i spaceBit = _mm512_set1_epi8((char)0x80);
    const __m512i strayBits = _mm512_set1_epi8((char)0xC0);
    // The held values, a chunk's values, and room for the last 64-byte store. Placed a
    // quarter page from the text's own offset in a page: the stores into it then never share
    // their address's low 12 bits with the text loads near them, which the CPU would take
    // for a dependence and make the loads wait.
    alignas(64) uint8_t area[PAGE_BYTES + 64 + CHUNK_PAIRS * 128 + 64];
    uint8_t *buffer = area + (((uintptr_t)in + PAGE_BYTES / 4 - (uintptr_t)area) & (PAGE_BYTES - 64));
    _mm512_store_si512((void *)buffer, d.held);
    uint32_t fill = d.heldCount, stopped = 0;
    while (pairs != 0 && !stopped) {
        uint32_t chunk = pairs < CHUNK_PAIRS ? pairs : CHUNK_PAIRS;
        const char *chunkEnd = in + chunk * 128;
        for (; in != chunkEnd; in += 128) {
            __m512i c0 = LoadText<untilNul>(in);
            __m512i c1 = LoadText<untilNul>(in + 64);
            __m512i v0 = _mm512_permutex2var_epi8(d.tableLow, c0, d.tableHigh);
            __m512i v1 = _mm512_permutex2var_epi8(d.tableLow, c1, d.tableHigh);
            // A byte with its top bit set, or one whose value has bit 6 (0xFF: not in the
            // alphabet), is neither data nor whitespace. 0xE4: c ? a : b, so bit 6 comes from
            // the value and the rest from the byte.
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
    d.held = _mm512_load_si512((const void *)buffer);
    d.heldCount = fill;
}

// The next vector of text for the steps that go a vector at a time, with zeros past the end
// of the text, which stop like any NUL. Returns 0 when a text shorter than a vector is left
// to the caller.
template <bool untilNul>
inline __attribute__((always_inline)) int LoadNextVector(const Decoding &d, __m512i *vector)
{
    const char *at = d.text + d.position;
    uintptr_t inPage = (uintptr_t)at & (PAGE_BYTES - 1);
    if (untilNul) {
        if (inPage > PAGE_BYTES - 64) {
            __m512i last = LoadUnchecked(at - inPage + PAGE_BYTES - 64);
            __mmask64 nul = _mm512_testn_epi8_mask(last, last);
            // Lanes of the page's last 64 bytes from `at` on.
            __mmask64 ahead = _mm512_cmpge_epu8_mask(d.lanes, _mm512_set1_epi8((char)(inPage - (PAGE_BYTES - 64))));
            __mmask64 found = _kand_mask64(nul, ahead);
            // The text ends in this page: its rest is the tail of the page's last 64 bytes,
            // moved down, with zeros after it (no masked load reaching into the next page:
            // see below).
            if (!_kortestz_mask64_u8(found, found)) {
                __m512i skip = _mm512_set1_epi8((char)(inPage - (PAGE_BYTES - 64)));
                *vector = _mm512_maskz_permutexvar_epi8(
                    _mm512_cmplt_epu8_mask(d.lanes, _mm512_set1_epi8((char)(PAGE_BYTES - inPage))),
                    _mm512_add_epi8(d.lanes, skip), last);
                return 1;
            }
        }
        *vector = LoadUnchecked(at);
        return 1;
    }
    if (d.length - d.position >= 64) {
        *vector = _mm512_loadu_si512((const void *)at);
        return 1;
    }
    // The last characters, with zeros after them. A masked load whose 64 bytes reach into
    // the next page runs many times slower (it made a whole 4 KiB decode run at half its
    // speed), so then the text's last 64 bytes are moved down instead, or, in a text that
    // short, the caller takes the rest.
    uint32_t left = d.length - d.position;
    __mmask64 inText = _mm512_cmplt_epu8_mask(d.lanes, _mm512_set1_epi8((char)left));
    if (inPage <= PAGE_BYTES - 64) {
        *vector = _mm512_maskz_loadu_epi8(inText, at);
        return 1;
    }
    if (d.length < 64) return 0;
    *vector = _mm512_maskz_permutexvar_epi8(inText, _mm512_add_epi8(d.lanes, _mm512_set1_epi8((char)(64 - left))),
                                            _mm512_loadu_si512((const void *)(d.text + d.length - 64)));
    return 1;
}

// One vector of text: its data values join the held ones, and each 64 of them go out as 48
// bytes. Returns 0 when the decoding stops here: at '=', the NUL or a stray byte (the
// characters before it are taken and the caller decides about the rest), or for want of
// room.
inline __attribute__((always_inline)) int TakeVector(Decoding &d, __m512i c)
{
    __m512i values = _mm512_permutex2var_epi8(d.tableLow, c, d.tableHigh);
    // A set top bit in the value or the byte itself: not an alphabet character.
    __mmask64 nonData = _mm512_movepi8_mask(_mm512_or_si512(values, c));
    // Masks are tested in the mask registers: 32-bit code has no 64-bit general register and
    // would move each mask through the stack to compare it.
    if (d.heldCount == 0 && _kortestz_mask64_u8(nonData, nonData)) {
        // A whole store where the room allows: the 16 bytes past the group's 48 are rewritten
        // by the next store, and a plain store is cheaper than a masked one.
        if (d.outputRoom - d.written >= 64)
            _mm512_storeu_si512((void *)(d.output + d.written), Pack(values));
        else if (d.outputRoom - d.written >= 48)
            _mm512_mask_storeu_epi8(d.output + d.written, LOW_48, Pack(values));
        else
            return 0;
        d.written += 48;
        d.position += 64;
        return 1;
    }
    uint32_t count = 64, take = 64;
    if (!_kortestz_mask64_u8(nonData, nonData)) {
        __mmask64 space = _kandn_mask64(_mm512_movepi8_mask(c),
                                        _mm512_cmpeq_epi8_mask(values, _mm512_set1_epi8((char)0x80)));
        __mmask64 stray = _kandn_mask64(space, nonData);
        __mmask64 keep = _knot_mask64(nonData);
        if (!_kortestz_mask64_u8(stray, stray)) {
            take = FirstLane(stray);
            keep = _kand_mask64(keep, _mm512_cmplt_epu8_mask(d.lanes, _mm512_set1_epi8((char)take)));
        }
        values = _mm512_maskz_compress_epi8(keep, values);
        count = CountBits(keep);
    }
    d.position += take;
    // Rotate the new values to start at lane heldCount; the lanes from there on complete the
    // held ones, and what wraps round is held for the next vector.
    __m512i shift = _mm512_set1_epi8((char)d.heldCount);
    __m512i rotated = Permute(_mm512_sub_epi8(d.lanes, shift), values);
    __m512i merged = _mm512_mask_blend_epi8(_mm512_cmpge_epu8_mask(d.lanes, shift), d.held, rotated);
    if (d.heldCount + count < 64) {
        d.held = merged;
        d.heldCount += count;
        return take == 64;
    }
    d.heldCount += count - 64;
    if (d.outputRoom - d.written < 48) {
        // The 64 values stay held, for the whole groups that still fit.
        d.held = merged;
        d.heldCount += 64;
        return 0;
    }
    if (d.outputRoom - d.written >= 64) _mm512_storeu_si512((void *)(d.output + d.written), Pack(merged));
    else _mm512_mask_storeu_epi8(d.output + d.written, LOW_48, Pack(merged));
    d.written += 48;
    d.held = rotated;
    return take == 64;
}

// The whole groups among the held values go out too (as far as the room allows), so the
// caller goes character by character over fewer than 4 of them.
inline __attribute__((always_inline)) void StoreHeldGroups(Decoding &d)
{
    uint32_t groups = d.heldCount / 4, fit = (d.outputRoom - d.written) / 3;
    if (groups > fit) groups = fit;
    if (groups > 16) groups = 16;
    if (groups == 0) return;
    // Through a buffer rather than a masked store: with the output page-aligned, the masked
    // store at its end (its 64 bytes reaching into the next page) made a whole 4 KiB decode
    // more than twice as slow.
    alignas(64) uint8_t bytes[64];
    _mm512_store_si512((void *)bytes, Pack(d.held));
    for (uint32_t i = 0; i < groups * 3; ++i) d.output[d.written + i] = bytes[i];
    d.written += groups * 3;
    d.heldCount -= groups * 4;
}

// The one decode loop, for a text of known length or (untilNul) one that ends at its NUL.
// Without a length, a load is safe while it stays within the page of bytes already known to
// be text; one that would enter the next page first looks for the NUL in the rest of this
// page, and stops there if it finds it: the text, and so the next page, goes on otherwise.
// With `hyphenStops` every '-' is left to the caller, which alone knows where an armour line
// may begin: its table takes '-' for a byte outside the alphabet, at no cost to the loops.
template <bool untilNul, bool hyphenStops = false>
uint32_t DecodeAvx512(const char *text, uint32_t length, uint8_t *output, uint32_t outputRoom, uint32_t *consumed)
{
    const DecodeTable &table = hyphenStops ? DECODE_TABLE_NO_HYPHEN : DECODE_TABLE;
    Decoding d;
    d.tableLow = _mm512_loadu_si512((const void *)table.value);
    d.tableHigh = _mm512_loadu_si512((const void *)(table.value + 64));
    d.lanes = _mm512_loadu_si512((const void *)LANE_NUMBERS);
    d.text = text;
    d.length = length;
    d.output = output;
    d.outputRoom = outputRoom;
    d.position = 0;
    d.written = 0;
    d.held = _mm512_setzero_si512();
    d.heldCount = 0;
    d.linesFrom = text;
    d.readableEnd = text - ((uintptr_t)text & (PAGE_BYTES - 1)) + PAGE_BYTES;

    while (untilNul || d.position < length) {
        uint32_t pairs = PairsInReach<untilNul>(d);
        const char *in = text + d.position;
        uint8_t *out = output + d.written;
        if (d.heldCount == 0) {
            pairs = DecodePlainPairs<untilNul>(in, out, pairs, d.tableLow, d.tableHigh);
            // Stopped by whitespace that may be a line break: lines of one length go through
            // their own loop. Tried once a place, so a text that only looks like lines costs
            // one look each time the loop gets here.
            if (pairs != 0 && in >= d.linesFrom) {
                const char *limit = untilNul ? in - ((uintptr_t)in & (PAGE_BYTES - 1)) + PAGE_BYTES : text + length;
                LinesEnd lines = DecodeIfLinesAvx512<untilNul>(in, out, limit, output + outputRoom, d.tableLow,
                                                               d.tableHigh, d.lanes);
                d.linesFrom = lines.in + 1;
                d.position = (uint32_t)(lines.in - text);
                d.written = (uint32_t)(lines.out - output);
                if (lines.found) break;
                continue;
            }
            if (untilNul && pairs == 0 && ReadFurtherPlain(d, in)) {
                d.position = (uint32_t)(in - text);
                d.written = (uint32_t)(out - output);
                continue;
            }
        }
        if (pairs != 0) GatherPairs<untilNul>(d, in, out, pairs);
        d.position = (uint32_t)(in - text);
        d.written = (uint32_t)(out - output);
        if (!untilNul && d.position == length) break;
        __m512i c;
        if (!LoadNextVector<untilNul>(d, &c) || !TakeVector(d, c)) break;
    }
    if (d.heldCount >= 4) StoreHeldGroups(d);
    *consumed = EndOfDecodedGroups(text, d.position, d.heldCount);
    return d.written;
}

}  // namespace

uint32_t DecodeBlocksAvx512(const char *text, uint32_t length, uint8_t *output,
                            uint32_t outputRoom, uint32_t *consumed)
{
    return DecodeAvx512<false>(text, length, output, outputRoom, consumed);
}

uint32_t DecodeTextAvx512(const char *text, uint8_t *output, uint32_t outputRoom, uint32_t *consumed)
{
    return DecodeAvx512<true>(text, 0, output, outputRoom, consumed);
}

uint32_t DecodeArmourTextAvx512(const char *text, uint8_t *output, uint32_t outputRoom, uint32_t *consumed)
{
    return DecodeAvx512<true, true>(text, 0, output, outputRoom, consumed);
}
