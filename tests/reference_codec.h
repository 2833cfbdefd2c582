// tests/reference_codec.h -- Base64, and what may wrap it, written the slow, obvious way,
// sharing nothing with the tables and kernels under test: the answer tests compare against;
// and the varied bytes they convert.
#pragma once
#include <ctype.h>
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

// The same for any container of bytes (std::string, std::vector<uint8_t>).
template <typename Bytes>
static inline std::string ReferenceEncode(const Bytes &bytes)
{
    return ReferenceEncode((const uint8_t *)bytes.data(), bytes.size());
}

// Varied bytes that do not repeat with any short period, the same for the same seed, in
// any container of bytes.
template <typename Bytes = std::vector<uint8_t>>
static inline Bytes RandomBytes(size_t length, uint32_t seed)
{
    Bytes bytes(length, 0);
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < length; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = (typename Bytes::value_type)(state >> 24);
    }
    return bytes;
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

// The wrappers around a Base64 body, found the plain way with string searches: a UTF-8 BOM,
// then a data: URL after whitespace, or PEM armour with explanatory text around it, or else
// the bare text. Returns 0 for a text that must be refused, else 1 with the body in *body.
static inline int ReferenceUnwrap(const char *whole, std::string *body)
{
    static const char SPACE[] = "\t\n\f\r ", BLANK[] = "\t\f ";
    const size_t NONE = std::string::npos;
    std::string text = whole;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    // Where every line that begins with five hyphens, after blanks, has them.
    std::vector<size_t> armour;
    for (size_t lineStart = 0; lineStart != NONE;) {
        size_t start = text.find_first_not_of(BLANK, lineStart);
        if (start != NONE && text.compare(start, 5, "-----") == 0) armour.push_back(start);
        lineStart = text.find_first_of("\r\n", lineStart);
        if (lineStart != NONE) ++lineStart;
    }
    size_t first = text.find_first_not_of(SPACE);
    std::string head = first == NONE ? std::string() : text.substr(first);
    std::string lower = head.substr(0, 5);
    for (char &c : lower) c = (char)tolower((unsigned char)c);

    if (lower == "data:") {
        size_t comma = head.find(',');
        if (comma == NONE || comma < 12 || !armour.empty()) return 0;
        for (size_t i = 5; i < comma; ++i)
            if (head[i] <= ' ' || head[i] > '~') return 0;
        std::string marker = head.substr(comma - 7, 7);
        for (char &c : marker) c = (char)tolower((unsigned char)c);
        if (marker != ";base64") return 0;
        *body = head.substr(comma + 1);
        return 1;
    }
    if (armour.empty()) {
        *body = text;
        return 1;
    }
    // Exactly two: the BEGIN line and the END line with its label, each ending its line
    // (after blanks); what lies before and after them is explanatory text.
    if (armour.size() != 2) return 0;
    size_t lineEnd = text.find_first_of("\r\n", armour[0]);
    if (lineEnd == NONE) return 0;
    std::string line = text.substr(armour[0], lineEnd - armour[0]);
    line.erase(line.find_last_not_of(BLANK) + 1);
    if (line.size() < 16 || line.compare(0, 11, "-----BEGIN ") != 0 ||
        line.compare(line.size() - 5, 5, "-----") != 0)
        return 0;
    std::string label = line.substr(11, line.size() - 16);
    if (!label.empty() && (label.front() == ' ' || label.back() == ' ')) return 0;
    if (label.find("  ") != NONE) return 0;
    for (char c : label)
        if (c == '-' || c < ' ' || c > '~') return 0;
    std::string endLine = "-----END " + label + "-----";
    if (text.compare(armour[1], endLine.size(), endLine) != 0) return 0;
    size_t after = text.find_first_not_of(BLANK, armour[1] + endLine.size());
    if (after != NONE && text[after] != '\r' && text[after] != '\n') return 0;
    size_t bodyStart = armour[0] + line.size();
    *body = text.substr(bodyStart, armour[1] - bodyStart);
    return 1;
}

// ReferenceDecode of what ReferenceUnwrap finds: what Base64Decode must agree with.
static inline int ReferenceDecodeText(const char *text, std::vector<uint8_t> *out)
{
    std::string body;
    return ReferenceUnwrap(text, &body) && ReferenceDecode(body.c_str(), out);
}
