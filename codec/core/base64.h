// codec/core/base64.h -- Base64 sizes, encoding, and the forgiving decoder of bare Base64
// over caller-owned buffers; wrapper.h decodes whole texts with what may surround them on
// top of this. Portable: no platform headers, no allocation, no mutable global state beyond
// the kernel choice and the scalar kernel's pair tables (built once by their first user,
// while others decode without them), so every function is safe to call from any thread at
// any time, and a thread stopped inside one leaves nothing held.
#pragma once
#include <stdint.h>

// Encoded length of `length` bytes plus 1 for the NUL: 4 * ceil(length / 3) + 1.
// 0 when that does not fit in 32 bits.
uint32_t Base64EncodedSize(uint32_t length);

// floor((length - measured) * 3 / 4), computed without 32-bit overflow; 0 when measured
// exceeds length. Exact decoded length of every decodable text of that length.
uint32_t Base64DecodedSize(uint32_t length, uint32_t measured);

// Encodes `length` bytes into `output` as NUL-terminated text (standard alphabet, '='
// padding, no line breaks). Returns 1; returns 0 and writes nothing when an argument is
// NULL, when outputSize is below Base64EncodedSize(length), or when that size overflows.
int Base64Encode(const uint8_t *input, uint32_t length, char *output, uint32_t outputSize);

// Writes the 4 * ceil(length / 3) characters of `length` bytes, padding a final partial
// group, and no NUL. Encoding in pieces gives the same text as one call when every piece
// but the last is a multiple of 3 bytes long.
void Base64EncodePiece(const uint8_t *input, uint32_t length, char *output);

// Decoding takes text in pieces so that a background job can publish progress. The
// decoder never writes past output + outputSize, and Base64DecodeFinish succeeds only
// when the whole text was decodable and filled the output exactly.
struct Base64Decoder {
    uint8_t *output;
    uint32_t outputSize;
    uint32_t written;       // bytes stored so far
    uint32_t pending;       // bits of the group being gathered
    uint32_t pendingCount;  // data characters in that group, 0..3
    uint32_t padding;       // '=' seen; once non-zero only '=' and whitespace may follow
    int failed;
};

void Base64DecodeBegin(Base64Decoder *decoder, uint8_t *output, uint32_t outputSize);
// Returns 0 as soon as the text is known not to decode or not to fit; then stays failed.
int Base64DecodeFeed(Base64Decoder *decoder, const char *text, uint32_t length);
// Applies the end-of-text rules and the exact-size rule. Returns 1 or 0.
int Base64DecodeFinish(Base64Decoder *decoder);

// The measure of a text taken as bare Base64 (alone, or with the length in the same pass),
// and the fast start of every whole-text decode (wrapper.h).
uint32_t MeasureBareText(const char *text);
int MeasureBareTextAndLength(const char *text, uint32_t *length, uint32_t *measured);
// Decodes a NUL-terminated text as bare Base64 from its start into `decoder`, up to its
// NUL or the first two hyphens in a row (which may begin an armour line: the caller looks
// at them). Returns where it stopped, with no such pair before that: at the NUL, at the
// pair, or once the decoder has failed, anywhere after the failing character. Begin and
// Finish are the caller's.
const char *DecodeBareText(Base64Decoder *decoder, const char *text);
