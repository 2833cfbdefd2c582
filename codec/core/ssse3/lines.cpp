// codec/core/ssse3/lines.cpp -- the SSSE3 decoder's second method: text broken into lines
// of one length by one separator goes a line at a time, without gathering values.
#include "codec/core/line_loop.h"
#include "codec/core/ssse3/vectors.h"

namespace {

// The SSSE3 level with its run of lines.
struct Ssse3Lines : Ssse3 {
    // Whole lines of LINE characters and a separator each, from *position (a line's start)
    // while they fit in the `length` characters that may be read and in the room; stops
    // before a line whose separator differs or that holds a character outside the standard
    // alphabet. A line is four vectors, or five for 76 characters, the fifth overlapping the
    // fourth by 4. Returns 1 when it stopped only for want of characters or room.
    template <bool untilNul, uint32_t LINE, uint32_t SEPARATOR_BYTES>
    static int DecodeLineRun(const char *text, uint32_t length, uint32_t *position, uint8_t *output,
                             uint32_t outputRoom, uint32_t *written, uint32_t separator)
    {
        StandardTables tables = LoadStandardTables();
        HoldTables(tables);
        const uint32_t pairMask = SEPARATOR_BYTES == 2 ? 0xFFFF : 0xFF;
        const uint32_t step = LINE + SEPARATOR_BYTES;
        // Pointers rather than the callers' counters, which every vector store might overwrite
        // as far as the compiler knows, and with the separator's length fixed, so that 32-bit
        // code keeps all it carries from line to line in registers.
        const char *from = text + *position;
        uint8_t *to = output + *written;
        // Each 16-byte store reaches 4 bytes past the 12 it decodes.
        uint32_t lines = LinesInReach<LINE, SEPARATOR_BYTES>(length, *position, outputRoom, *written, 4);
        for (; lines != 0; --lines) {
            if ((LoadPair<untilNul>(from + LINE) & pairMask) != separator) break;
            // One statement a vector: each store's last 4 bytes are overwritten by the next one.
            __m128i stray = DecodeStandard(LoadText<untilNul>(from), to, tables);
            stray = _mm_or_si128(stray, DecodeStandard(LoadText<untilNul>(from + 16), to + 12, tables));
            KeepRunning(stray);
            stray = _mm_or_si128(stray, DecodeStandard(LoadText<untilNul>(from + 32), to + 24, tables));
            KeepRunning(stray);
            stray = _mm_or_si128(stray, DecodeStandard(LoadText<untilNul>(from + 48), to + 36, tables));
            KeepRunning(stray);
            if (LINE == 76) stray = _mm_or_si128(stray, DecodeStandard(LoadText<untilNul>(from + 60), to + 45, tables));
            if (!AllStandard(stray)) break;
            from += step;
            to += LINE / 4 * 3;
        }
        *position = (uint32_t)(from - text);
        *written = (uint32_t)(to - output);
        return lines == 0;
    }
};

}  // namespace

template <bool untilNul>
int DecodeLinesSsse3(const char *text, uint32_t *readable, int *endKnown, uint32_t *position, uint8_t *output,
                     uint32_t outputRoom, uint32_t *written, uint32_t nonData, const __m128i *values)
{
    return DecodeLineShapes<Ssse3Lines, untilNul>(text, readable, endKnown, position, output, outputRoom, written,
                                                  nonData, values);
}

template int DecodeLinesSsse3<false>(const char *, uint32_t *, int *, uint32_t *, uint8_t *, uint32_t, uint32_t *,
                                     uint32_t, const __m128i *);
template int DecodeLinesSsse3<true>(const char *, uint32_t *, int *, uint32_t *, uint8_t *, uint32_t, uint32_t *,
                                    uint32_t, const __m128i *);
