// tests/fuzz/decode_fuzzer.cpp -- every kernel's decoder against a plain reference
// decoder, on arbitrary text, on texts in lines and on wrapped texts (PEM armour with or
// without explanatory text, data: URLs, BOMs), at several output sizes, whole and in
// pieces; and encode/decode round trips.
#include "codec/core/base64.h"
#include "codec/core/kernels.h"
#include "codec/core/wrapper.h"
#include "tests/reference_codec.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

typedef std::vector<uint8_t> Bytes;

// Decodes into a heap block of exactly `size` bytes (ASan sees any write past it) and
// checks the outcome against the reference.
static void CheckDecode(const char *text, uint32_t size, int refOk, const Bytes &ref)
{
    uint8_t *out = (uint8_t *)malloc(size ? size : 1);
    int expected = refOk && ref.size() == size;
    int ok = Base64Decode(text, out, size);
    if (ok != expected) abort();
    if (ok && size && memcmp(out, ref.data(), size) != 0) abort();
    free(out);
}

// The same text fed in two pieces cut at `cut`: its body (what the reference unwrapped) to
// the piecewise decoder, and the whole text to the piecewise text decoder a job uses.
static void CheckPieces(const char *text, uint32_t length, uint32_t cut, int refOk,
                        const Bytes &ref, const std::string &body, int unwrapped)
{
    uint32_t size = (uint32_t)ref.size();
    uint8_t *out = (uint8_t *)malloc(size ? size : 1);
    if (unwrapped) {
        uint32_t bodyLength = (uint32_t)strlen(body.c_str()), bodyCut = cut % (bodyLength + 1);
        Bytes bodyRef;
        int bodyOk = ReferenceDecode(body.c_str(), &bodyRef) && bodyRef.size() == size;
        Base64Decoder decoder;
        Base64DecodeBegin(&decoder, out, size);
        int ok = Base64DecodeFeed(&decoder, body.c_str(), bodyCut);
        ok &= Base64DecodeFeed(&decoder, body.c_str() + bodyCut, bodyLength - bodyCut);
        ok &= Base64DecodeFinish(&decoder);
        if (ok != bodyOk) abort();
        if (ok && size && memcmp(out, bodyRef.data(), size) != 0) abort();
    }
    Base64TextDecoder whole;
    Base64TextDecodeBegin(&whole, text, out, size);
    int ok = Base64TextDecodeFeed(&whole, 0, cut);
    ok &= Base64TextDecodeFeed(&whole, cut, length - cut);
    ok &= Base64TextDecodeFinish(&whole, length);
    if (ok != refOk) abort();
    if (ok && size && memcmp(out, ref.data(), size) != 0) abort();
    free(out);
}

static void CheckRoundTrip(const uint8_t *data, uint32_t size, const std::string &expected)
{
    uint32_t textSize = Base64EncodedSize(size);
    char *text = (char *)malloc(textSize);
    if (!Base64Encode(data, size, text, textSize)) abort();
    if (expected != text) abort();
    uint8_t *back = (uint8_t *)malloc(size ? size : 1);
    if (!Base64Decode(text, back, size)) abort();
    if (size && memcmp(back, data, size) != 0) abort();
    free(back);
    free(text);
}

// Inputs that start with '#' describe a text in lines instead, which random bytes would
// hardly ever make: byte 1 picks the line length and separator, byte 2 how many changes
// follow (3 bytes each: where, and what to delete, insert or put there), and the rest is
// encoded and broken into those lines.
static std::string LinedText(const uint8_t *data, size_t size)
{
    static const char *const SEPARATORS[] = {"\r\n", "\n", " \n", "\r", "\n\n", "\t"};
    static const size_t LINES[] = {76, 64, 72, 60};
    if (size < 3) return std::string();
    size_t line = LINES[data[1] & 3];
    const char *separator = SEPARATORS[(data[1] >> 2) % 6];
    size_t changes = data[2] % 4, head = 3 + 3 * changes;
    if (size < head) return std::string();
    std::string encoded = ReferenceEncode(data + head, size - head), text;
    for (size_t i = 0; i < encoded.size(); i += line) {
        text += encoded.substr(i, line);
        text += separator;
    }
    for (size_t k = 0; k < changes && !text.empty(); ++k) {
        const uint8_t *change = data + 3 + 3 * k;
        size_t at = (size_t)(change[0] | (change[1] & 0x3F) << 8) % text.size();
        char byte = (char)change[2];
        switch (change[1] >> 6) {
        case 0: text.erase(at, 1); break;
        case 1: text.insert(at, 1, byte); break;
        default: text[at] = byte; break;
        }
    }
    return text;
}

// Explanatory text for before a BEGIN line or after an END line ('\n' stands for the line
// end): what openssl writes there, Base64, hyphens that begin no line, and what must be
// refused there: lines that begin with five hyphens, and a note running into the BEGIN line.
static const char *const NOTES[] = {
    "Bag Attributes\n    localKeyID: 01 00 \n    friendlyName: a-b\nsubject=CN = x\n\n",
    "note\n", "Zm9vYmFy\n", "a -----b\n \t----\n", "-----\n", "\t----- note -----\n",
    "-----BEGIN X-----\n", "note",
};

static std::string Note(size_t pick, const std::string &newline)
{
    std::string note;
    for (const char *c = NOTES[pick % (sizeof NOTES / sizeof NOTES[0])]; *c; ++c)
        note += *c == '\n' ? newline : std::string(1, *c);
    return note;
}

// Inputs that start with '-' describe a wrapped text: byte 1 picks the wrapper, its label
// and line end, and the rest describes the body as for '#' (LinedText from byte 1 on). Most
// picks are well-formed armour, some with explanatory text (picked by the input's size);
// the others are what must be refused or the other wrappers.
static std::string WrappedText(const uint8_t *data, size_t size)
{
    static const char *const LABELS[] = {"CERTIFICATE", "PRIVATE KEY", "", "X509 CRL"};
    static const char *const NEWLINES[] = {"\n", "\r\n", "\r"};
    if (size < 2) return std::string();
    std::string body = LinedText(data + 1, size - 1);
    std::string label = LABELS[data[1] & 3], newline = NEWLINES[(data[1] >> 2) % 3];
    std::string begin = "-----BEGIN " + label + "-----" + newline;
    std::string end = "-----END " + label + "-----" + newline;
    std::string block = begin + body + end;
    switch (data[1] >> 4) {
    case 7: return Note(size, newline) + block;
    case 8: return block + Note(size, newline);
    case 9: return Note(size, newline) + block + Note(size / 8, newline);
    case 10: return begin + body + "-----END OTHER-----" + newline;
    case 11: return block + block;
    case 12: return "data:application/octet-stream;base64," + body;
    case 13: return "\xEF\xBB\xBF" + block;
    case 14: return "\xEF\xBB\xBF" + body;
    case 15: return body + end;
    default: return block;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 1 << 20) return 0;
    std::string shaped;
    const uint8_t *source = data;
    size_t sourceSize = size;
    if (size && (data[0] == '#' || data[0] == '-')) {
        shaped = data[0] == '#' ? LinedText(data, size) : WrappedText(data, size);
        source = (const uint8_t *)shaped.data();
        sourceSize = shaped.size();
    }
    // The input as a file's contents: a NUL-terminated text of `sourceSize` characters,
    // which may hold a NUL of its own earlier on.
    char *text = (char *)malloc(sourceSize + 1);
    if (sourceSize) memcpy(text, source, sourceSize);
    text[sourceSize] = '\0';
    uint32_t length = (uint32_t)sourceSize;
    uint32_t textLength = (uint32_t)strlen(text);

    Bytes ref;
    std::string body;
    int unwrapped = ReferenceUnwrap(text, &body);
    int refOk = ReferenceDecodeText(text, &ref);
    // What MeasureText counts in a text with no wrapper, the plain way; a wrapped text's
    // count is checked by the exact size below, and must be the same on every kernel.
    uint32_t fillers = 0;
    for (uint32_t i = 0; i < textLength; ++i) fillers += strchr(" \t\n\f\r=", text[i]) != NULL;
    uint32_t measured = Base64MeasureText(text);
    int bare = unwrapped && body == text;
    if (bare && measured != fillers) abort();
    uint32_t sized = Base64DecodedSize(length, measured);
    // The size the program computes must be exact for every decodable text.
    if (refOk && textLength == length && sized != ref.size()) abort();
    std::string encoded = ReferenceEncode(data, size);
    // Where the piecewise decode cuts the text: anywhere, also far into a long one.
    uint32_t cut = size ? (uint32_t)(data[0] | data[size - 1] << 8) % (textLength + 1) : 0;

    for (int id = 0; id < KERNEL_COUNT; ++id) {
        const Kernel *kernel = KernelById(id);
        if (!KernelSupported(id) || !kernel->encode || !kernel->decode) continue;
        ForceKernel(id);
        uint32_t kernelLength = 0, kernelMeasured = 0;
        if (!Base64MeasureTextAndLength(text, &kernelLength, &kernelMeasured)) abort();
        if (kernelLength != textLength || kernelMeasured != measured) abort();
        if (Base64MeasureText(text) != measured) abort();
        uint32_t sizes[] = {sized, sized + 1, sized ? sized - 1 : 0, 0,
                            (uint32_t)ref.size(), (uint32_t)ref.size() + 3};
        for (uint32_t s : sizes) CheckDecode(text, s, refOk, ref);
        CheckPieces(text, textLength, cut, refOk, ref, body, unwrapped);
        CheckRoundTrip(data, (uint32_t)size, encoded);
    }
    free(text);
    return 0;
}
