// codec/core/wrapper.h -- what may surround a Base64 body in a text (a UTF-8 BOM, PEM armour,
// a data: URL) and the decoder of whole texts built on it. base64.h keeps the public
// contracts; this adds the piecewise form a background job needs and the internals the
// wrapper code shares with base64.cpp.
#pragma once
#include <stdint.h>

#include "codec/core/base64.h"

// Decodes one whole NUL-terminated text, its wrapper included, in pieces, so a job can
// publish progress: Base64Decode's result for the same text and output size. The text
// stays in place and unchanged until Finish, which needs its length. Holds nothing to
// release; a thread may be stopped inside any call.
struct Base64TextDecoder {
    Base64Decoder decoder;
    const char *text;
    uint32_t bodyStart;     // characters before the Base64: BOM, whitespace, BEGIN line or URL prefix
    uint32_t labelStart;    // armour: where the BEGIN line's label is, and its length
    uint32_t labelLength;
    int armoured;           // the body ends at an END line with the same label
    int armourEnded;        // that END line was found, with only whitespace after it
    int failed;
};

void Base64TextDecodeBegin(Base64TextDecoder *decoder, const char *text, uint8_t *output,
                           uint32_t outputSize);
// Takes the text's characters [from, from + count): pieces in order, starting at 0 and
// joining up, never past the NUL. Returns 0 as soon as the text is known not to decode.
int Base64TextDecodeFeed(Base64TextDecoder *decoder, uint32_t from, uint32_t count);
// After the last piece; textLength is where the text's NUL is. Returns 1 or 0.
int Base64TextDecodeFinish(Base64TextDecoder *decoder, uint32_t textLength);

// In base64.cpp: the measure (alone, or with the length in the same pass) and the
// whole-text decode of text with no wrapper.
uint32_t MeasureBareText(const char *text);
int MeasureBareTextAndLength(const char *text, uint32_t *length, uint32_t *measured);
int DecodeBareText(const char *text, uint8_t *output, uint32_t outputSize);
