// codec/core/base64.h -- Base64 sizes, encoding and forgiving decoding over caller-owned
// buffers. Portable: no platform headers, no allocation, no mutable global state beyond
// the kernel choice and the scalar kernel's pair tables (built once by their first user,
// while others decode without them), so every function is safe to call from any thread at
// any time, and a thread stopped inside one leaves nothing held.
#pragma once
#include <stdint.h>

// Encoded length of `length` bytes plus 1 for the NUL: 4 * ceil(length / 3) + 1.
// 0 when that does not fit in 32 bits.
uint32_t Base64EncodedSize(uint32_t length);

// Counts the characters of a NUL-terminated text that carry no data (ASCII whitespace
// TAB LF FF CR space, and '='), and every character of a wrapper Base64Decode accepts (a
// BOM, the armour lines and the explanatory text around them, a data: URL's prefix).
// NULL counts 0.
uint32_t Base64MeasureText(const char *text);

// Base64MeasureText's count and the text's length (its characters before the NUL) in one
// pass. Returns 1; 0, storing nothing, when an argument is NULL or the text has 2^32
// characters or more (possible in 64-bit builds only).
int Base64MeasureTextAndLength(const char *text, uint32_t *length, uint32_t *measured);

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

// Decodes a whole NUL-terminated text: WHATWG forgiving-base64 (whitespace ignored, one
// or two trailing '=' dropped when the length is a multiple of 4, a remainder of 1 is
// not decodable, leftover bits discarded), extended with '-' and '_' as 62 and 63.
// Around that body the text may have, after a UTF-8 BOM:
// - PEM armour (RFC 7468): a line "-----BEGIN <label>-----", the body, a line
//   "-----END <label>-----" with the same label. The lines before the BEGIN line and
//   after the END line are explanatory text, ignored whatever else they hold, but they
//   may hold no armour line;
// - after whitespace, a data: URL: "data:" and a media type with parameters, ";base64,"
//   (any case), the body.
// An armour line is one that begins, after blanks (space, TAB, FF), with five hyphens. The
// first one in a text must be a BEGIN line, and the next its END line; a text with any
// other (a second block, one inside the body, one in a data: URL or bare text), or with
// more than blanks after an armour line's closing hyphens, does not decode.
// Returns 1 only when the text decodes to exactly outputSize bytes; 0 otherwise (NULL
// arguments included). Never writes past output + outputSize.
int Base64Decode(const char *text, uint8_t *output, uint32_t outputSize);
