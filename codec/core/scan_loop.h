// codec/core/scan_loop.h -- the text scans every vector level shares: to the NUL (or to the
// NUL or a '-'), and the measure, written once over a level's aligned blocks and
// instantiated inside the level's scan.cpp with its flags. Everything here has internal
// linkage.
//
// Each reads whole aligned blocks (see READS_WHOLE_BLOCKS): every block read holds a byte
// not yet known to lie past the NUL, or shares an aligned LINE with one, and an aligned
// block never straddles a page. A level's Blocks struct brings:
//   Mask, BYTES, LINE       a mask type with a bit per byte of a block, the block's size,
//                           and the aligned run of blocks tested with one branch
//   Stops<hyphen>(v)        zero exactly in the bytes that end a span: the NUL, and with
//                           `hyphen` '-' as well
//   StopMask<hyphen>(block) those bytes of the aligned block as a mask
//   LineHasStop<hyphen>(line)  whether the aligned LINE bytes hold one of them
//   Vector, Load(block), Zero(), ZeroMask(v), FillerMask(v), AddFillers(lanes, v)
//                           for the measure: whitespace and '=' as a mask, and counted into
//                           byte lanes
//   SumLanes(lanes), LINES_PER_SUM
//                           the lanes' total, and how many LINEs the lanes count before
//                           one could pass 255
#pragma once
#include "codec/core/kernels.h"

namespace {

inline uint32_t LowestBit(uint32_t mask) { return (uint32_t)__builtin_ctz(mask); }
inline uint32_t LowestBit(uint64_t mask) { return (uint32_t)__builtin_ctzll(mask); }
inline uint32_t CountSetBits(uint32_t mask) { return (uint32_t)__builtin_popcount(mask); }
inline uint32_t CountSetBits(uint64_t mask) { return (uint32_t)__builtin_popcountll(mask); }

// The characters of `text` before its first stop, but at most `limit`.
template <class Blocks, bool hyphen>
READS_WHOLE_BLOCKS inline uint32_t AlignedSpan(const char *text, uint32_t limit)
{
    typedef typename Blocks::Mask Mask;
    uint32_t skew = (uint32_t)((uintptr_t)text & (Blocks::BYTES - 1));
    uint32_t n = Blocks::BYTES - skew;
    Mask stop = Blocks::template StopMask<hyphen>(text - skew) >> skew;

    if (stop) return LowestBit(stop) < limit ? LowestBit(stop) : limit;
    while (n < limit) {
        const char *block = text + n;
        if (((uintptr_t)block & (Blocks::LINE - 1)) == 0 && !Blocks::template LineHasStop<hyphen>(block)) {
            n += Blocks::LINE;
            continue;
        }
        stop = Blocks::template StopMask<hyphen>(block);
        if (stop) return limit - n > LowestBit(stop) ? n + LowestBit(stop) : limit;
        n += Blocks::BYTES;
    }
    return limit;
}

// The aligned block at `block`, whose text starts at byte `first` and may go on for `room`
// characters: adds the fillers among those before the NUL (or with `hyphen` the first '-')
// to *count and sets *taken to the characters taken. Returns 1 when the text, the room or
// (with `hyphen`) the span ends in the block.
template <class Blocks, bool hyphen>
READS_WHOLE_BLOCKS inline int MeasureBlock(const char *block, uint32_t first, uint32_t room, uint32_t *taken,
                                           uint32_t *count)
{
    typedef typename Blocks::Mask Mask;
    typename Blocks::Vector bytes = Blocks::Load(block);
    Mask zeros = Blocks::ZeroMask(Blocks::template Stops<hyphen>(bytes)) >> first;
    Mask fillers = Blocks::FillerMask(bytes) >> first;
    uint32_t end = Blocks::BYTES - first;
    int last = 0;

    if (zeros) {
        end = LowestBit(zeros);
        last = 1;
    }
    if (room <= end) {
        end = room;
        last = 1;
    }
    // Two shifts, as a shift by the mask's whole width is undefined.
    if (end < Blocks::BYTES) fillers &= ((Mask)1 << end) - 1;
    *count += CountSetBits(fillers);
    *taken = end;
    return last;
}

// The characters of `text` before its NUL (or with `hyphen` its first '-'), at most `limit`,
// and in *measured how many of them are whitespace or '=': whole LINEs with one test each,
// counted in byte lanes.
template <class Blocks, bool hyphen = false>
READS_WHOLE_BLOCKS inline uint32_t AlignedMeasure(const char *text, uint32_t limit, uint32_t *measured)
{
    const uint32_t LINE = Blocks::LINE;
    uint32_t skew = (uint32_t)((uintptr_t)text & (Blocks::BYTES - 1));
    uint32_t n = 0, count = 0, taken = 0;

    if (MeasureBlock<Blocks, hyphen>(text - skew, skew, limit, &taken, &count)) {
        *measured = count;
        return taken;
    }
    n = taken;
    while ((uintptr_t)(text + n) & (LINE - 1)) {
        if (MeasureBlock<Blocks, hyphen>(text + n, 0, limit - n, &taken, &count)) {
            *measured = count;
            return n + taken;
        }
        n += Blocks::BYTES;
    }
    while (limit - n >= LINE) {
        uint32_t lines = (limit - n) / LINE, line = 0;
        typename Blocks::Vector lanes = Blocks::Zero();
        if (lines > Blocks::LINES_PER_SUM) lines = Blocks::LINES_PER_SUM;
        for (; line < lines; ++line) {
            const char *p = text + n + LINE * line;
            if (Blocks::template LineHasStop<hyphen>(p)) break;
            for (uint32_t i = 0; i < LINE; i += Blocks::BYTES) lanes = Blocks::AddFillers(lanes, Blocks::Load(p + i));
        }
        count += Blocks::SumLanes(lanes);
        n += LINE * line;
        if (line < lines) break;
    }
    while (!MeasureBlock<Blocks, hyphen>(text + n, 0, limit - n, &taken, &count)) n += Blocks::BYTES;
    *measured = count;
    return n + taken;
}

// The span and the measure that also stop where two hyphens begin (SpanToHyphenPair,
// MeasureToHyphenPair), over the level's aligned blocks.
template <class Blocks>
READS_WHOLE_BLOCKS inline uint32_t AlignedHyphenSpan(const char *text, uint32_t limit)
{
    return SpanToHyphenPair(text, limit, [](const char *from, uint32_t most) {
        return AlignedSpan<Blocks, true>(from, most);
    });
}

template <class Blocks>
READS_WHOLE_BLOCKS inline uint32_t AlignedHyphenMeasure(const char *text, uint32_t limit, uint32_t *measured)
{
    return MeasureToHyphenPair(text, limit, measured, [](const char *from, uint32_t most, uint32_t *part) {
        return AlignedMeasure<Blocks, true>(from, most, part);
    });
}

}  // namespace
