// codec/core/wrapper.h -- whole texts: a Base64 body and what may surround it (a UTF-8 BOM,
// PEM armour with explanatory text around it, a data: URL), measured and decoded whole or,
// for a background job, in pieces. base64.h has the sizes, the encoder and the decoder of
// bare Base64 this is built on.
#pragma once
#include <stdint.h>

#include "codec/core/base64.h"

// Counts the characters of a NUL-terminated text that carry no data (ASCII whitespace
// TAB LF FF CR space, and '='), and every character of a wrapper Base64Decode accepts (a
// BOM, the armour lines and the explanatory text around them, a data: URL's prefix).
// NULL counts 0.
uint32_t Base64MeasureText(const char *text);

// Base64MeasureText's count and the text's length (its characters before the NUL) in one
// pass. Returns 1; 0, storing nothing, when an argument is NULL or the text has 2^32
// characters or more (possible in 64-bit builds only).
int Base64MeasureTextAndLength(const char *text, uint32_t *length, uint32_t *measured);

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

// Where the decode of a text stands: before any armour line (bare Base64, or explanatory
// text if a BEGIN line comes), between the BEGIN line and its END line, or after the END line.
enum TextPart { PART_BARE, PART_BODY, PART_AFTER_END };

// Decodes one whole NUL-terminated text, its wrapper included, in pieces, so a job can
// publish progress: Base64Decode's result for the same text and output size. The text
// stays in place and unchanged until Finish, which needs its length. Holds nothing to
// release; a thread may be stopped inside any call.
struct Base64TextDecoder {
    Base64Decoder decoder;  // in bare text, failed once it does not decode; fresh at the BEGIN line
    const char *text;
    uint32_t firstLine;     // where the text's first line begins: after a BOM
    uint32_t next;          // the first character not yet taken; what a piece holds before it is passed over
    uint32_t labelStart;    // the BEGIN line's label, where it is and its length
    uint32_t labelLength;
    int part;               // a TextPart
    int dataUrl;            // the text began as a data: URL, whose body is all the text holds
    int failed;
};

void Base64TextDecodeBegin(Base64TextDecoder *decoder, const char *text, uint8_t *output,
                           uint32_t outputSize);
// Takes the text's characters [from, from + count): pieces in order, starting at 0 and
// joining up, never past the NUL. It may decode a little past the piece (never past the
// NUL), and later pieces pass over what it took. Returns 0 as soon as the text is known
// not to decode.
int Base64TextDecodeFeed(Base64TextDecoder *decoder, uint32_t from, uint32_t count);
// After the last piece; textLength is where the text's NUL is. Returns 1 or 0.
int Base64TextDecodeFinish(Base64TextDecoder *decoder, uint32_t textLength);
