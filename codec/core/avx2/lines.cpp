// codec/core/avx2/lines.cpp -- the AVX2 decoder's second method: text broken into lines of
// one length by one separator goes a line at a time, without gathering values.
#include "codec/core/avx2/vectors.h"
#include "codec/core/line_loop.h"

namespace {

// The AVX2 level with its run of lines.
struct Avx2Lines : Avx2 {
    // Whole lines of LINE characters and a separator each, from *position (a line's start)
    // while they fit in the `length` characters that may be read and in the room; stops
    // before a line whose separator differs or that holds a character outside the standard
    // alphabet. A line is two vectors, or three for 76 characters, the third overlapping the
    // second by 20. Returns 1 when it stopped only for want of characters or room.
    template <bool untilNul, uint32_t LINE, uint32_t SEPARATOR_BYTES>
    static int DecodeLineRun(const char *text, uint32_t length, uint32_t *position, uint8_t *output,
                             uint32_t outputRoom, uint32_t *written, uint32_t separator)
    {
        const StandardTables tables = LoadStandardTables();
        const uint32_t pairMask = SEPARATOR_BYTES == 2 ? 0xFFFF : 0xFF;
        const uint32_t step = LINE + SEPARATOR_BYTES;
        // Pointers rather than the callers' counters, which every vector store might overwrite
        // as far as the compiler knows, and with the separator's length fixed, so that 32-bit
        // code keeps all it carries from line to line in registers.
        const char *from = text + *position;
        uint8_t *to = output + *written;
        // The stores reach 4 bytes past a line's last byte; 8 kept spare is a margin.
        uint32_t lines = LinesInReach<LINE, SEPARATOR_BYTES>(length, *position, outputRoom, *written, 8);
        if (LINE == 76) {
            // Two lines a round in five vectors: the third holds the last 16 characters of the
            // first line and the first 16 of the second, whose 12 bytes each fall where
            // StoreLanes puts them. Every store then lands after the one before it, as in the
            // plain loop, and nothing is held from one vector to the next.
            for (; lines >= 2; lines -= 2) {
                const char *next = from + step;
                uint8_t *nextTo = to + LINE / 4 * 3;
                if (((LoadPair<untilNul>(from + LINE) ^ separator) | (LoadPair<untilNul>(next + LINE) ^ separator)) &
                    pairMask)
                    break;
                if (!DecodeStandard(LoadText<untilNul>(from), to, tables) ||
                    !DecodeStandard(LoadText<untilNul>(from + 32), to + 24, tables) ||
                    !DecodeStandard(LoadHalves<untilNul>(from + 60, next), to + 45, tables) ||
                    !DecodeStandard(LoadText<untilNul>(next + 16), nextTo + 12, tables) ||
                    !DecodeStandard(LoadText<untilNul>(next + 44), nextTo + 33, tables))
                    break;
                from += 2 * step;
                to += 2 * (LINE / 4 * 3);
            }
        }
        for (; lines != 0; --lines) {
            if ((LoadPair<untilNul>(from + LINE) & pairMask) != separator) break;
            // In this order: each store's last 4 bytes are overwritten by the next one.
            if (!DecodeStandard(LoadText<untilNul>(from), to, tables) ||
                !DecodeStandard(LoadText<untilNul>(from + 32), to + 24, tables) ||
                (LINE == 76 && !DecodeStandard(LoadText<untilNul>(from + 44), to + 33, tables)))
                break;
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
int DecodeLinesAvx2(const char *text, uint32_t *readable, int *endKnown, uint32_t *position, uint8_t *output,
                    uint32_t outputRoom, uint32_t *written, uint32_t nonData, const __m256i *values)
{
    return DecodeLineShapes<Avx2Lines, untilNul>(text, readable, endKnown, position, output, outputRoom, written,
                                                 nonData, values);
}

template int DecodeLinesAvx2<false>(const char *, uint32_t *, int *, uint32_t *, uint8_t *, uint32_t, uint32_t *,
                                    uint32_t, const __m256i *);
template int DecodeLinesAvx2<true>(const char *, uint32_t *, int *, uint32_t *, uint8_t *, uint32_t, uint32_t *,
                                   uint32_t, const __m256i *);
