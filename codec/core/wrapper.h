// codec/core/wrapper.h -- what may surround a Base64 body in a text (a UTF-8 BOM, PEM armour
// with explanatory text around it, a data: URL) and the decoder of whole texts built on it.
// base64.h keeps the public contracts; this adds the piecewise form a background job needs
// and the internals the wrapper code shares with base64.cpp.
#pragma once
#include <stdint.h>

#include "codec/core/base64.h"
#include "codec/core/kernels.h"

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

// The scan every look for armour lines goes behind: like SpanKernel (kernels.h), but it
// also stops at the first '-', where an armour line may start. One per kernel;
// ActiveHyphenSpan picks the one that goes with the active kernel.
uint32_t HyphenSpanScalar(const char *text, uint32_t limit);   // base64.cpp
uint32_t HyphenSpanSse2(const char *text, uint32_t limit);     // hyphen_ssse3.cpp
uint32_t HyphenSpanAvx2(const char *text, uint32_t limit);     // hyphen_avx2.cpp
SpanKernel ActiveHyphenSpan(void);                             // wrapper.cpp

// In base64.cpp: the measure (alone, or with the length in the same pass) of text with no
// wrapper, and the fast start of every whole-text decode.
uint32_t MeasureBareText(const char *text);
int MeasureBareTextAndLength(const char *text, uint32_t *length, uint32_t *measured);
// Decodes a NUL-terminated text as bare Base64 from its start into `decoder`, up to its
// NUL or its first '-' (which may start an armour line: the caller looks at it). Returns
// where it stopped, with no '-' before that: at the NUL, at the '-', or once the decoder
// has failed, anywhere after the failing character. Begin and Finish are the caller's.
const char *DecodeBareText(Base64Decoder *decoder, const char *text);
