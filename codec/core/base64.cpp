// codec/core/base64.cpp -- sizes, encoding and the forgiving decoder around the kernels:
// the kernels do the bulk of whole groups, this file the edges, whitespace and padding.
#include "codec/core/base64.h"
#include "codec/core/kernels.h"

// What a character means to the decoder: its 6-bit value, or one of these.
enum { CLASS_SPACE = 64, CLASS_PAD = 65, CLASS_INVALID = 255 };

struct CharClasses {
    uint8_t of[256];
};

static constexpr CharClasses MakeCharClasses()
{
    CharClasses table{};
    for (int c = 0; c < 256; ++c) table.of[c] = CLASS_INVALID;
    for (int v = 0; v < 64; ++v) table.of[(uint8_t)BASE64_ALPHABET[v]] = (uint8_t)v;
    for (const char *c = "\t\n\f\r "; *c; ++c) table.of[(uint8_t)*c] = CLASS_SPACE;
    table.of[(uint8_t)'-'] = 62;
    table.of[(uint8_t)'_'] = 63;
    table.of[(uint8_t)'='] = CLASS_PAD;
    return table;
}

static constexpr CharClasses CHAR_CLASSES = MakeCharClasses();

// Whole texts are decoded in slices of this many characters: the kernel's scan for the
// NUL runs just ahead of the decoder, so the decoder reads a slice still in the
// first-level cache.
static const uint32_t DECODE_SLICE_CHARS = 16384;
// What a kernel that stops at the NUL by itself leaves is handled in slices this short.
static const uint32_t DECODE_TAIL_CHARS = 64;

uint32_t Base64EncodedSize(uint32_t length)
{
    uint64_t size = ((uint64_t)length + 2) / 3 * 4 + 1;
    return size > 0xFFFFFFFFu ? 0 : (uint32_t)size;
}

uint32_t MeasureBareText(const char *text)
{
    MeasureKernel measure = 0;
    uint32_t count = 0;

    if (!text) return 0;
    measure = ActiveKernel()->measure;
    // A text of 4 GiB and more (64-bit builds only) goes in parts; the count wraps as a
    // 32-bit count must.
    for (;;) {
        uint32_t part = 0;
        uint32_t n = measure(text, 0xFFFFFFFFu, &part);
        count += part;
        if (n < 0xFFFFFFFFu) return count;
        text += n;
    }
}

int MeasureBareTextAndLength(const char *text, uint32_t *length, uint32_t *measured)
{
    uint32_t count = 0, n = 0;

    if (!text || !length || !measured) return 0;
    n = ActiveKernel()->measure(text, 0xFFFFFFFFu, &count);
    if (n == 0xFFFFFFFFu && text[n]) return 0;
    *length = n;
    *measured = count;
    return 1;
}

uint32_t Base64DecodedSize(uint32_t length, uint32_t measured)
{
    if (measured > length) return 0;
    return (uint32_t)((uint64_t)(length - measured) * 3 / 4);
}

void Base64EncodePiece(const uint8_t *input, uint32_t length, char *output)
{
    uint32_t blocks = length / 3;
    uint32_t done = ActiveKernel()->encode(input, blocks, output);

    // A kernel may leave whole groups it has no block for; the scalar one takes them all.
    if (done < blocks)
        EncodeBlocksScalar(input + done * 3, blocks - done, output + done * 4);
    input += blocks * 3;
    output += blocks * 4;
    switch (length - blocks * 3) {
    case 1:
        output[0] = BASE64_ALPHABET[input[0] >> 2];
        output[1] = BASE64_ALPHABET[(input[0] & 3) << 4];
        output[2] = '=';
        output[3] = '=';
        break;
    case 2:
        output[0] = BASE64_ALPHABET[input[0] >> 2];
        output[1] = BASE64_ALPHABET[(input[0] & 3) << 4 | input[1] >> 4];
        output[2] = BASE64_ALPHABET[(input[1] & 15) << 2];
        output[3] = '=';
        break;
    }
}

int Base64Encode(const uint8_t *input, uint32_t length, char *output, uint32_t outputSize)
{
    uint32_t size = Base64EncodedSize(length);

    if (!input || !output || size == 0 || outputSize < size) return 0;
    Base64EncodePiece(input, length, output);
    output[size - 1] = '\0';
    return 1;
}

void Base64DecodeBegin(Base64Decoder *decoder, uint8_t *output, uint32_t outputSize)
{
    decoder->output = output;
    decoder->outputSize = outputSize;
    decoder->written = 0;
    decoder->pending = 0;
    decoder->pendingCount = 0;
    decoder->padding = 0;
    decoder->failed = output == 0;
}

// Takes characters one at a time from text[*pos] until a group completes or the piece
// ends; with `yieldAtData`, also stops before a data character that starts a group, which
// hands a line break's next line back to the kernel at once. Returns 0 when the text
// cannot decode or the group does not fit.
static int DecodeByCharacter(Base64Decoder *decoder, const char *text, uint32_t length,
                             uint32_t *pos, int yieldAtData)
{
    uint32_t i = *pos;
    int ok = 1;

    while (i < length) {
        uint8_t cls = CHAR_CLASSES.of[(uint8_t)text[i]];
        if (yieldAtData && cls < 64 && decoder->pendingCount == 0 && !decoder->padding) break;
        ++i;
        if (cls == CLASS_SPACE) continue;
        if (cls == CLASS_PAD) {
            // Padding may only complete a group of 2 or 3 data characters to 4.
            if (decoder->pendingCount < 2 || decoder->pendingCount + decoder->padding >= 4) {
                ok = 0;
                break;
            }
            decoder->padding++;
            continue;
        }
        if (cls == CLASS_INVALID || decoder->padding) {
            ok = 0;
            break;
        }
        decoder->pending = decoder->pending << 6 | cls;
        if (++decoder->pendingCount < 4) continue;
        if (decoder->outputSize - decoder->written < 3) {
            ok = 0;
            break;
        }
        uint8_t *out = decoder->output + decoder->written;
        out[0] = (uint8_t)(decoder->pending >> 16);
        out[1] = (uint8_t)(decoder->pending >> 8);
        out[2] = (uint8_t)decoder->pending;
        decoder->written += 3;
        decoder->pending = 0;
        decoder->pendingCount = 0;
        break;
    }
    *pos = i;
    return ok;
}

int Base64DecodeFeed(Base64Decoder *decoder, const char *text, uint32_t length)
{
    DecodeKernel kernel = 0;
    uint32_t pos = 0;

    if (!decoder || decoder->failed) return 0;
    if (!text) {
        decoder->failed = 1;
        return 0;
    }
    kernel = ActiveKernel()->decode;
    while (pos < length) {
        // Between groups the kernel takes over. Where it stops (whitespace, padding, an
        // invalid character, the end of the room) the characters go one by one, up to the
        // next data character if the kernel made progress, else through one whole group so
        // that every round moves on; then the kernel gets another chance.
        int progressed = 0;
        if (decoder->pendingCount == 0 && decoder->padding == 0) {
            uint32_t consumed = 0;
            decoder->written += kernel(text + pos, length - pos,
                                       decoder->output + decoder->written,
                                       decoder->outputSize - decoder->written, &consumed);
            pos += consumed;
            if (pos == length) break;
            progressed = consumed > 0;
        }
        if (!DecodeByCharacter(decoder, text, length, &pos, progressed)) {
            decoder->failed = 1;
            return 0;
        }
    }
    return 1;
}

int Base64DecodeFinish(Base64Decoder *decoder)
{
    uint32_t count = 0, bytes = 0;

    if (!decoder || decoder->failed) return 0;
    count = decoder->pendingCount;
    // With padding the group must come to exactly 4; without it a lone character
    // cannot make a byte.
    if (decoder->padding ? count + decoder->padding != 4 : count == 1) {
        decoder->failed = 1;
        return 0;
    }
    // 2 characters carry 12 bits (one byte and 4 discarded), 3 carry 18 (two and 2).
    bytes = count ? count - 1 : 0;
    if (decoder->outputSize - decoder->written != bytes) {
        decoder->failed = 1;
        return 0;
    }
    uint32_t bits = decoder->pending << (6 * (4 - count));
    uint8_t *out = decoder->output + decoder->written;
    if (bytes >= 1) out[0] = (uint8_t)(bits >> 16);
    if (bytes >= 2) out[1] = (uint8_t)(bits >> 8);
    decoder->written += bytes;
    decoder->pending = 0;
    decoder->pendingCount = 0;
    return 1;
}

// Bare text decodes with the kernel's armour form, which stops before every '-', and the
// hyphen scan for what the kernel leaves: a text in the standard alphabet holds no '-' and
// goes at full speed to its NUL, and any other hands the first pair of hyphens to the caller.
const char *DecodeBareText(Base64Decoder *decoder, const char *text)
{
    const Kernel *kernel = ActiveKernel();
    DecodeTextKernel fast = kernel->decodeArmourText;
    SpanKernel scan = kernel->hyphenSpan;

    for (;;) {
        uint32_t slice = DECODE_SLICE_CHARS;
        // Between groups the kernel takes all it can, and only what stopped it (padding, a
        // stray character, the end of the room) goes through a short slice. Where it stopped
        // at a '-' the text is most likely base64url, which would stop it at every '-': a
        // whole slice goes the length kernel's way, which takes '-' as data.
        if (decoder->pendingCount == 0 && decoder->padding == 0) {
            uint32_t consumed = 0;
            decoder->written += fast(text, decoder->output + decoder->written,
                                     decoder->outputSize - decoder->written, &consumed);
            text += consumed;
            if (*text != '-') slice = DECODE_TAIL_CHARS;
        }
        uint32_t span = scan(text, slice);
        if (!Base64DecodeFeed(decoder, text, span)) return text + span;
        text += span;
        if (span < slice) return text;
    }
}
