// codec/core/decode_loop.h -- the decode loop the SSSE3 and AVX2 levels share, written once
// over a level's few primitives and instantiated inside that level's decode.cpp, so each
// copy is compiled with its own level's flags. Everything here has internal linkage: two
// levels' copies never meet at link time.
//
// A level is a struct (ssse3/vectors.h, avx2/vectors.h) with:
//   Vector, CHARS          its vector type and the characters a vector holds
//   ROUND_CHARS, ROUND_BYTES, ROUND_SLACK
//                          what one round of its plain loop takes and stores, and how far
//                          past a round's bytes its stores reach
//   LoadText<untilNul>(p)  a vector of text (see text_loads.h on reading past the NUL)
//   DecodeRounds<untilNul>(text, &position, output, &written, rounds)
//                          plain standard-alphabet rounds; returns the rounds left undone
//   Sort(c, &values)       the mask of c's characters that carry no data, and the 6-bit
//                          values of those that do
//   HyphenMask(c), SpaceMask(c)
//   StorePacked(values, to)   CHARS values to CHARS / 4 * 3 bytes at `to`, CHARS stored
//   StoreValues(values, to), LoadValues(from)   values to and from memory as they are
//   CompactValues(values, keep, to)   the values whose bit is set in `keep`, one after
//                          another at `to` (CHARS bytes there writable); returns how many
//   DecodeLines<untilNul>(...)   its line loop (lines.cpp)
//   Span                   its NUL scan
#pragma once
#include "codec/core/text_loads.h"

namespace {

// Values gathered across whitespace are decoded once this many have gathered.
const uint32_t HELD_DRAIN = 256;

// Decodes the whole vectors of held values and moves the rest (fewer than a vector) to the
// front. Returns 0 when the output ran out of room first; then only the count matters.
template <class Level>
inline int DrainHeld(uint8_t *held, uint32_t *heldCount, uint8_t *output, uint32_t *written,
                     uint32_t outputRoom)
{
    uint32_t used = 0;
    int room = 1;
    for (; *heldCount - used >= Level::CHARS; used += Level::CHARS) {
        if (outputRoom - *written < Level::CHARS) {
            room = 0;
            break;
        }
        Level::StorePacked(Level::LoadValues(held + used), output + *written);
        *written += Level::CHARS / 4 * 3;
    }
    Level::StoreValues(Level::LoadValues(held + used), held);
    *heldCount -= used;
    return room;
}

// Plain text in the level's rounds, one validity test a vector or a round; anything else,
// one vector at a time: whitespace is dropped and the values gathered, and lines go
// through their own loop. Without a length (`untilNul`), `length` is ignored and the NUL
// is looked for a page at a time, just before the decoding reaches the page's end. With
// `hyphenStops` every '-' is left to the caller, which alone knows where an armour line may
// begin.
template <class Level, bool untilNul, bool hyphenStops>
uint32_t DecodeVectors(const char *text, uint32_t length, uint8_t *output, uint32_t outputRoom,
                       uint32_t *consumed)
{
    typedef typename Level::Vector Vector;
    const uint32_t CHARS = Level::CHARS, ROUND_CHARS = Level::ROUND_CHARS;
    const uint32_t ROUND_BYTES = Level::ROUND_BYTES, ROUND_SLACK = Level::ROUND_SLACK;
    // Values of data characters gathered across whitespace. They are decoded only once
    // many have gathered: a load of a vector just written in pieces would wait for the
    // pieces to reach the cache, and after a few hundred values they have.
    uint8_t held[HELD_DRAIN + 2 * CHARS];
    uint32_t heldCount = 0, position = 0, written = 0, plainFrom = 0;
    // Characters that may be read: the length, or the rest of the pages known to hold the
    // text until the NUL has been found.
    uint32_t readable = untilNul ? PAGE_BYTES - (uint32_t)((uintptr_t)text & (PAGE_BYTES - 1)) : length;
    int endKnown = !untilNul, full = 0;

    for (;;) {
        if (untilNul) ReadFurther(text, position, &readable, &endKnown, Level::Span);
        if (heldCount == 0 && position >= plainFrom) {
            uint32_t room = outputRoom - written;
            uint32_t rounds = (readable - position) / ROUND_CHARS;
            uint32_t fit = room >= ROUND_BYTES + ROUND_SLACK ? (room - ROUND_SLACK) / ROUND_BYTES : 0;
            rounds = rounds < fit ? rounds : fit;
            if (rounds != 0) rounds = Level::template DecodeRounds<untilNul>(text, &position, output, &written, rounds);
            // Stopped by a byte outside the standard alphabet: the round goes the slow way.
            if (rounds != 0) plainFrom = position + ROUND_CHARS;
        }
        if (!endKnown && readable - position < ROUND_CHARS) continue;
        if (readable - position < CHARS || full) break;
        Vector c = Level::template LoadText<untilNul>(text + position);
        // The plain rounds and the line loop take the standard alphabet only, so this is
        // the one place a '-' would be taken as data.
        if (hyphenStops && Level::HyphenMask(c)) break;
        Vector values;
        uint32_t nonData = Level::Sort(c, &values);
        if (nonData != 0 && heldCount == 0 &&
            Level::template DecodeLines<untilNul>(text, &readable, &endKnown, &position, output, outputRoom,
                                                  &written, nonData, &values)) {
            // Where the lines stopped (the end of what may be read, the text's last line),
            // a round of plain text would not get far.
            plainFrom = position + ROUND_CHARS;
            continue;
        }
        if (nonData == 0 && heldCount == 0) {
            if (outputRoom - written < CHARS) break;
            Level::StorePacked(values, output + written);
            written += CHARS / 4 * 3;
            position += CHARS;
            continue;
        }
        if (nonData == 0) {
            Level::StoreValues(values, held + heldCount);
            heldCount += CHARS;
        } else {
            if (nonData & ~Level::SpaceMask(c)) break;     // '=', NUL or a stray byte: the caller decides
            heldCount += Level::CompactValues(values, ~nonData, held + heldCount);
        }
        position += CHARS;
        if (heldCount >= HELD_DRAIN && !DrainHeld<Level>(held, &heldCount, output, &written, outputRoom))
            full = 1;
    }
    // Decode what has gathered, so the caller's character-by-character step is short.
    if (!full) DrainHeld<Level>(held, &heldCount, output, &written, outputRoom);
    *consumed = EndOfDecodedGroups(text, position, heldCount);
    return written;
}

}  // namespace
