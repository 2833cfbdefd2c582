// tests/fuzz/decode_fuzzer.cpp -- every kernel's decoder against a plain reference
// decoder, on arbitrary text, at several output sizes; and encode/decode round trips.
#include "codec/core/base64.h"
#include "codec/core/kernels.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

typedef std::vector<uint8_t> Bytes;

// Character by character, in the order the forgiving decode is written down: drop
// whitespace, drop one or two final '=' when the length is a multiple of 4, refuse a
// remainder of 1 and any character outside the alphabet, then take 6 bits a character.
static int ReferenceDecode(const char *text, Bytes *out)
{
    std::string data;
    for (const char *p = text; *p; ++p)
        if (!strchr("\t\n\f\r ", *p)) data += *p;
    if (data.size() % 4 == 0) {
        for (int i = 0; i < 2 && !data.empty() && data.back() == '='; ++i) data.pop_back();
    }
    if (data.size() % 4 == 1) return 0;
    uint32_t bits = 0, count = 0;
    out->clear();
    for (char c : data) {
        int v;
        if (c >= 'A' && c <= 'Z') v = c - 'A';
        else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
        else if (c >= '0' && c <= '9') v = c - '0' + 52;
        else if (c == '+' || c == '-') v = 62;
        else if (c == '/' || c == '_') v = 63;
        else return 0;
        bits = bits << 6 | (uint32_t)v;
        count += 6;
        if (count >= 8) {
            count -= 8;
            out->push_back((uint8_t)(bits >> count));
        }
    }
    return 1;
}

static std::string ReferenceEncode(const uint8_t *data, size_t size)
{
    static const char ALPHABET[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    uint32_t bits = 0, count = 0;
    for (size_t i = 0; i < size; ++i) {
        bits = bits << 8 | data[i];
        count += 8;
        while (count >= 6) {
            count -= 6;
            text += ALPHABET[(bits >> count) & 63];
        }
    }
    if (count) text += ALPHABET[(bits << (6 - count)) & 63];
    while (text.size() % 4) text += '=';
    return text;
}

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

// The same text fed to the piecewise decoder in two pieces cut at `cut`.
static void CheckPieces(const char *text, uint32_t length, uint32_t cut, int refOk,
                        const Bytes &ref)
{
    uint32_t size = (uint32_t)ref.size();
    uint8_t *out = (uint8_t *)malloc(size ? size : 1);
    Base64Decoder decoder;
    Base64DecodeBegin(&decoder, out, size);
    int ok = Base64DecodeFeed(&decoder, text, cut);
    ok &= Base64DecodeFeed(&decoder, text + cut, length - cut);
    ok &= Base64DecodeFinish(&decoder);
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 1 << 20) return 0;
    // The input as a file's contents: a NUL-terminated text of `size` characters, which
    // may hold a NUL of its own earlier on.
    char *text = (char *)malloc(size + 1);
    if (size) memcpy(text, data, size);
    text[size] = '\0';
    uint32_t length = (uint32_t)size;
    uint32_t textLength = (uint32_t)strlen(text);

    Bytes ref;
    int refOk = ReferenceDecode(text, &ref);
    uint32_t measured = Base64MeasureText(text);
    uint32_t sized = Base64DecodedSize(length, measured);
    // The size the program computes must be exact for every decodable text.
    if (refOk && textLength == length && sized != ref.size()) abort();
    std::string encoded = ReferenceEncode(data, size);

    for (int id = 0; id < KERNEL_COUNT; ++id) {
        const Kernel *kernel = KernelById(id);
        if (!KernelSupported(id) || !kernel->encode || !kernel->decode) continue;
        ForceKernel(id);
        uint32_t sizes[] = {sized, sized + 1, sized ? sized - 1 : 0, 0,
                            (uint32_t)ref.size(), (uint32_t)ref.size() + 3};
        for (uint32_t s : sizes) CheckDecode(text, s, refOk, ref);
        CheckPieces(text, textLength, textLength ? data[0] % (textLength + 1) : 0, refOk, ref);
        CheckRoundTrip(data, length, encoded);
    }
    free(text);
    return 0;
}
