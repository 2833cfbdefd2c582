// tests/reference_codec.h -- Base64 written the slow, obvious way, bit by bit, sharing
// nothing with the tables and kernels under test: the answer the tests compare against.
#pragma once
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

static inline std::string ReferenceEncode(const uint8_t *data, size_t size)
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

// Character by character, in the order the forgiving decode is written down: drop
// whitespace, drop one or two final '=' when the length is a multiple of 4, refuse a
// remainder of 1 and any character outside the alphabet, then take 6 bits a character.
static inline int ReferenceDecode(const char *text, std::vector<uint8_t> *out)
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
