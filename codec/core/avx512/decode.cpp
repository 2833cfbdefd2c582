// codec/core/avx512/decode.cpp -- the AVX-512 decoders: 64-byte vectors, values gathered
// across whitespace by byte compress (VBMI2), line-broken text through lines.cpp.
#include "codec/core/avx512/vectors.h"

namespace {

// Pairs of text vectors whose values are gathered before they are decoded.
const uint32_t CHUNK_PAIRS = 16;

// The one decode loop, for a text of known length or (untilNul) one that ends at its NUL.
// Without a length, a load is safe while it stays within the page of bytes already known
// to be text; one that would enter the next page first looks for the NUL in the rest of
// this page, and stops there if it finds it: the text, and so the next page, goes on
// otherwise. With `hyphenStops` every '-' is left to the caller, which alone knows where an
// armour line may begin.
template <bool untilNul, bool hyphenStops = false>
inline uint32_t DecodeAvx512(const char *text, uint32_t length, uint8_t *output, uint32_t outputRoom,
                             uint32_t *consumed)
{
    const DecodeTable &table = hyphenStops ? DECODE_TABLE_NO_HYPHEN : DECODE_TABLE;
    const __m512i tableLow = _mm512_loadu_si512((const void *)table.value);
    const __m512i tableHigh = _mm512_loadu_si512((const void *)(table.value + 64));
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
                int lines = DecodeIfLinesAvx512<untilNul>(&in, limit, &out, output + outputRoom, tableLow, tableHigh, lanes);
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
