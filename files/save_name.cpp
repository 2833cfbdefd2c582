// files/save_name.cpp -- the rules behind the Save dialog's suggested name. The platform
// side (which code page, the dialog itself) lives in transfer.cpp and commands.cpp.
#include "files/save_name.h"

#include <string.h>

// Decoding strips these; the second column is what takes their place.
static const struct {
    const char *extension;
    const char *replacement;
} DECODED_EXTENSIONS[] = {
    {"qvb", ""},     {"b64", ""},     {"base64", ""},
    {"pem", ".der"}, {"crt", ".der"}, {"cer", ".der"},
    {"key", ".der"}, {"csr", ".der"}, {"p7b", ".der"},
};

static const char ENCODED_SUFFIX[] = ".QVB";
static const char UNKNOWN_SUFFIX[] = ".bin";

// ASCII only: a byte of a two-byte character is never taken for a letter of these.
static int SameExtension(const char *text, uint32_t length, const char *lower)
{
    uint32_t i;
    if (strlen(lower) != length) return 0;
    for (i = 0; i < length; i++) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
        if (c != lower[i]) return 0;
    }
    return 1;
}

// What takes the place of a decoded file's extension; NULL when it is none of those.
static const char *DecodedReplacement(const char *extension, uint32_t length)
{
    size_t i;
    for (i = 0; i < sizeof(DECODED_EXTENSIONS) / sizeof(DECODED_EXTENSIONS[0]); i++)
        if (SameExtension(extension, length, DECODED_EXTENSIONS[i].extension))
            return DECODED_EXTENSIONS[i].replacement;
    return NULL;
}

// Appends `length` bytes of `text` at out[*used]; 0 when they and the NUL do not fit.
static int Append(char *out, uint32_t outSize, uint32_t *used, const char *text,
                  uint32_t length)
{
    if (length >= outSize - *used) return 0;
    memcpy(out + *used, text, length);
    *used += length;
    out[*used] = '\0';
    return 1;
}

int SuggestSavePath(const char *inputPath, int encoding, LeadByteTest isLeadByte, char *out,
                    uint32_t outSize)
{
    uint32_t nameStart = 0, lastDot = 0, end = 0, stem = 0, used = 0, i = 0;
    const char *suffix = encoding ? ENCODED_SUFFIX : UNKNOWN_SUFFIX;
    int haveDot = 0;

    if (outSize == 0) return 0;
    out[0] = '\0';
    // By characters: a trail byte equal to '\\' is no separator.
    while (inputPath[i]) {
        char c = inputPath[i];
        if (c == '\\' || c == '/' || c == ':') {
            nameStart = i + 1;
            haveDot = 0;
        } else if (c == '.') {
            lastDot = i;
            haveDot = 1;
        }
        i += isLeadByte((uint8_t)c) && inputPath[i + 1] ? 2 : 1;
    }
    end = i;
    if (nameStart == end) return 0;
    if (!Append(out, outSize, &used, inputPath, nameStart)) return 0;

    stem = end;
    if (!encoding && haveDot) {
        const char *replacement = DecodedReplacement(inputPath + lastDot + 1, end - lastDot - 1);
        // The name before the extension, without the dots and spaces that would end it; a
        // name of nothing else has no extension.
        uint32_t kept = lastDot;
        while (kept > nameStart && (inputPath[kept - 1] == '.' || inputPath[kept - 1] == ' '))
            kept--;
        if (replacement && kept > nameStart) {
            stem = kept;
            suffix = replacement;
        }
    }
    // Only the folder fits: the dialog can still open there.
    if (!Append(out, outSize, &used, inputPath + nameStart, stem - nameStart)) return 0;
    if (!Append(out, outSize, &used, suffix, (uint32_t)strlen(suffix))) {
        out[nameStart] = '\0';
        return 0;
    }
    return 1;
}
