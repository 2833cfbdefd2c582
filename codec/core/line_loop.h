// codec/core/line_loop.h -- the line loop the SSSE3 and AVX2 levels share: text broken into
// lines of one length by one separator goes a line at a time, without gathering values.
// Written once over a level's primitives and its run of lines, and instantiated inside the
// level's lines.cpp with its flags; everything here has internal linkage.
#pragma once
#include "codec/core/text_loads.h"

#include <type_traits>

namespace {

// Lines of 64 or 76 characters, each followed by one separator of one or two whitespace
// bytes (PEM's LF, MIME's CR LF).
struct LineShape {
    uint32_t line, separatorBytes, separator;
};

// Whether the text at `at` looks like such lines: its data ends `rest` characters in, at a
// group's end, and a separator follows there and again one whole line later. `left`
// counts the characters that may be read from `at`. 1 with *shape filled, or 0.
template <bool untilNul>
inline int FindLineShape(const char *at, uint32_t rest, uint32_t left, LineShape *shape)
{
    if (rest % 4 != 0 || left - rest < 3 || !IsSpace((char)LoadByte<untilNul>(at + rest))) return 0;
    uint32_t separatorBytes = IsSpace((char)LoadByte<untilNul>(at + rest + 1)) ? 2 : 1;
    uint32_t separator = SeparatorAt<untilNul>(at + rest, separatorBytes);
    uint32_t next = rest + separatorBytes;
    shape->separatorBytes = separatorBytes;
    shape->separator = separator;
    static const uint32_t LINES[] = {76, 64};
    for (uint32_t line : LINES) {
        if (left - next >= line + separatorBytes &&
            SeparatorAt<untilNul>(at + next + line, separatorBytes) == separator) {
            shape->line = line;
            return 1;
        }
    }
    return 0;
}

// Calls `run(line, separatorBytes)` with both as compile-time constants for `shape`, so
// that a kernel's line loop is built once for each of the four shapes it may meet.
template <class Run>
inline int ForLineShape(const LineShape &shape, Run run)
{
    using Bytes2 = std::integral_constant<uint32_t, 2>;
    using Bytes1 = std::integral_constant<uint32_t, 1>;
    using Line76 = std::integral_constant<uint32_t, 76>;
    using Line64 = std::integral_constant<uint32_t, 64>;
    if (shape.separatorBytes == 2) return shape.line == 76 ? run(Line76(), Bytes2()) : run(Line64(), Bytes2());
    return shape.line == 76 ? run(Line76(), Bytes1()) : run(Line64(), Bytes1());
}

// How many whole lines of LINE characters and a separator of SEPARATOR_BYTES a line loop
// may take from `position`: as many as may be read, both separator bytes being read
// whatever its length (so a line needs one byte more than it may have), and as many as
// fit in the output's room, a loop storing up to `storeBeyond` bytes past a line's last.
template <uint32_t LINE, uint32_t SEPARATOR_BYTES>
inline uint32_t LinesInReach(uint32_t length, uint32_t position, uint32_t outputRoom, uint32_t written,
                                    uint32_t storeBeyond)
{
    const uint32_t step = LINE + SEPARATOR_BYTES, bytes = LINE / 4 * 3, room = bytes + storeBeyond;
    uint32_t lines = length - position >= LINE + 2 ? (length - position - LINE - 2) / step + 1 : 0;
    uint32_t fit = outputRoom - written >= room ? (outputRoom - written - room) / bytes + 1 : 0;
    return lines < fit ? lines : fit;
}

// Runs `runLines(readable)` (which decodes whole lines while they may be read and returns
// 1 when it stopped only for want of characters or room) again as long as a text without a
// length goes on into further pages, so that lines crossing a page need not leave the loop.
template <bool untilNul, class RunLines>
inline void RunLinesAcrossPages(const char *text, uint32_t *readable, int *endKnown, uint32_t *position,
                                       SpanKernel span, RunLines runLines)
{
    for (;;) {
        uint32_t from = *position;
        int ranOut = runLines(*readable);
        if (!untilNul || !ranOut || *position == from) break;
        uint32_t before = *readable;
        ReadFurther(text, *position, readable, endKnown, span);
        if (*readable == before) break;
    }
}

// Text broken into lines (see LineShape) goes a line at a time without gathering values. The
// vector at *position (between groups) has `nonData` set from the lane where its data
// ends, and `values` decoded. Returns 0 when the text there does not look like such lines
// and nothing moved; otherwise 1, with *position and *written past the lines decoded.
// *readable counts the characters that may be read, and without a length grows as the
// lines reach further pages (see RunLinesAcrossPages). The level (decode_loop.h) brings
// CHARS, StorePacked and Span, and DecodeLineRun<untilNul, LINE, SEPARATOR_BYTES>(text,
// length, &position, output, outputRoom, &written, separator), which decodes whole lines
// from a line's start and returns 1 when it stopped only for want of characters or room.
template <class Level, bool untilNul>
int DecodeLineShapes(const char *text, uint32_t *readable, int *endKnown, uint32_t *position, uint8_t *output,
                     uint32_t outputRoom, uint32_t *written, uint32_t nonData, const typename Level::Vector *values)
{
    LineShape shape;
    uint32_t rest = (uint32_t)__builtin_ctz(nonData);
    if (!FindLineShape<untilNul>(text + *position, rest, *readable - *position, &shape) ||
        outputRoom - *written < Level::CHARS)
        return 0;
    // The rest of this line: its lanes of `values` are right.
    Level::StorePacked(*values, output + *written);
    *written += rest / 4 * 3;
    *position += rest + shape.separatorBytes;
    // Lines that run into the next page go on there without leaving this loop.
    RunLinesAcrossPages<untilNul>(text, readable, endKnown, position, Level::Span, [&](uint32_t length) {
        return ForLineShape(shape, [&](auto line, auto separatorBytes) {
            return Level::template DecodeLineRun<untilNul, decltype(line)::value, decltype(separatorBytes)::value>(
                text, length, position, output, outputRoom, written, shape.separator);
        });
    });
    return 1;
}

}  // namespace
