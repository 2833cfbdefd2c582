// codec/core/wrapper.cpp -- the text around a Base64 body: a UTF-8 BOM, PEM armour (RFC 7468)
// and data: URLs, recognised at the text's edges so that the body is decoded as fast as a
// bare text. base64.cpp decodes the body; this finds it and checks what surrounds it.
#include "codec/core/wrapper.h"
#include "codec/core/kernels.h"

// The whole-text decode of an armoured body goes in slices this long, each scanned for a
// NUL or '-' just ahead of the decoder while it is still in the first-level cache.
static const uint32_t ARMOUR_SLICE_CHARS = 16384;
static const uint32_t NO_LIMIT = 0xFFFFFFFFu;
// What stopped a kernel that leaves every '-' to us is looked at in slices this short.
static const uint32_t ARMOUR_TAIL_CHARS = 64;

static const char BEGIN_LINE[] = "-----BEGIN ";
static const char END_LINE[] = "-----END ";
static const char HYPHENS[] = "-----";
// The characters of an END line the bare measure does not count, besides its label's:
// "-----END" and the closing "-----" (its space is whitespace).
static const uint32_t END_LINE_DATA_CHARS = 13;

static int IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\f';
}

static int IsLineBreak(char c)
{
    return c == '\r' || c == '\n';
}

// 1 when `text` starts with `prefix`; the text's NUL ends the comparison.
static int StartsWith(const char *text, const char *prefix)
{
    while (*prefix && *text == *prefix) ++text, ++prefix;
    return *prefix == 0;
}

static int StartsWithNoCase(const char *text, const char *prefix)
{
    for (; *prefix; ++text, ++prefix) {
        char c = *text >= 'A' && *text <= 'Z' ? (char)(*text - 'A' + 'a') : *text;
        if (c != *prefix) return 0;
    }
    return 1;
}

// Reads "-----BEGIN <label>-----" at text[at] and the blanks and line break after it. The
// label is printable ASCII other than '-', words separated by single spaces, maybe empty.
static int ReadBeginLine(Base64TextDecoder *decoder, uint32_t at)
{
    const char *text = decoder->text;
    uint32_t p = at + sizeof(BEGIN_LINE) - 1, label = p;

    if (!StartsWith(text + at, BEGIN_LINE)) return 0;
    for (; text[p] && text[p] != '-'; ++p) {
        if (text[p] == ' ' ? p == label || text[p - 1] == ' ' : text[p] < '!' || text[p] > '~')
            return 0;
    }
    if ((p > label && text[p - 1] == ' ') || !StartsWith(text + p, HYPHENS)) return 0;
    decoder->labelStart = label;
    decoder->labelLength = p - label;
    decoder->bodyStart = p + sizeof(HYPHENS) - 1;
    for (p = decoder->bodyStart; IsBlank(text[p]); ++p) {}
    return IsLineBreak(text[p]);
}

// Reads "data:[<media type>];base64," in any case at text[at]; the media type and its
// parameters are printable ASCII without a comma. Percent escapes are left undecoded.
static int ReadDataUrlPrefix(Base64TextDecoder *decoder, uint32_t at)
{
    const char *text = decoder->text;
    uint32_t p = at + 5, comma = 0;   // past "data:"

    while (text[p] > ' ' && text[p] <= '~' && text[p] != ',') ++p;
    if (text[p] != ',') return 0;
    comma = p;
    if (comma - at < 5 + 7 || !StartsWithNoCase(text + comma - 7, ";base64")) return 0;
    decoder->bodyStart = comma + 1;
    return 1;
}

// A cheap look at the first characters decides: a BOM is skipped, and text that starts,
// after whitespace, with five hyphens or "data:" must be armour or a data: URL. All else
// is bare Base64 from its first character (or the BOM's end) on, decoded as it always was.
static int ReadHead(Base64TextDecoder *decoder)
{
    const char *text = decoder->text;
    uint32_t p = 0;

    if (StartsWith(text, "\xEF\xBB\xBF")) p = 3;
    decoder->bodyStart = p;
    while (IsSpace(text[p])) ++p;
    if (StartsWith(text + p, HYPHENS)) {
        decoder->armoured = 1;
        return ReadBeginLine(decoder, p);
    }
    if (StartsWithNoCase(text + p, "data:")) return ReadDataUrlPrefix(decoder, p);
    return 1;
}

void Base64TextDecodeBegin(Base64TextDecoder *decoder, const char *text, uint8_t *output,
                           uint32_t outputSize)
{
    Base64DecodeBegin(&decoder->decoder, output, outputSize);
    decoder->text = text;
    decoder->bodyStart = 0;
    decoder->labelStart = 0;
    decoder->labelLength = 0;
    decoder->armoured = 0;
    decoder->armourEnded = 0;
    decoder->failed = decoder->decoder.failed || !text || !ReadHead(decoder);
}

// 1 when the '-' at text[at] begins its line (after blanks) and four more follow: an armour
// line, which the body may not hold. The body begins on the BEGIN line's own line.
static int StartsArmourLine(const Base64TextDecoder *decoder, uint32_t at)
{
    const char *text = decoder->text;
    uint32_t p = at;

    while (p > decoder->bodyStart && IsBlank(text[p - 1])) --p;
    return p > decoder->bodyStart && IsLineBreak(text[p - 1]) && StartsWith(text + at, HYPHENS);
}

// 1 when text[at] holds "-----END <label>-----" with the BEGIN line's label and nothing but
// whitespace follows it: a second block or anything else after it cannot be one output.
static int IsLastEndLine(const Base64TextDecoder *decoder, uint32_t at)
{
    const char *text = decoder->text;
    uint32_t p = at + sizeof(END_LINE) - 1;

    if (!StartsWith(text + at, END_LINE)) return 0;
    for (uint32_t i = 0; i < decoder->labelLength; ++i, ++p)
        if (text[p] != text[decoder->labelStart + i]) return 0;
    if (!StartsWith(text + p, HYPHENS)) return 0;
    for (p += sizeof(HYPHENS) - 1; IsSpace(text[p]); ++p) {}
    return text[p] == '\0';
}

// Feeds the armoured body from text[from] on, `count` characters or up to its END line,
// whichever comes first. The scan ahead of the decoder stops at every '-': most are
// base64url data, and only one that starts an armour line gets a closer look.
static int FeedArmouredBody(Base64TextDecoder *decoder, uint32_t from, uint32_t count)
{
    const char *text = decoder->text;
    SpanKernel scan = ActiveKernel()->hyphenSpan;

    while (count > 0 && !decoder->armourEnded) {
        uint32_t slice = count < ARMOUR_SLICE_CHARS ? count : ARMOUR_SLICE_CHARS;
        uint32_t n = 0;
        for (;;) {
            n += scan(text + from + n, slice - n);
            if (n == slice) break;
            if (text[from + n] == '\0') return 0;   // the text ended without its END line
            if (StartsArmourLine(decoder, from + n)) {
                if (!IsLastEndLine(decoder, from + n)) return 0;
                decoder->armourEnded = 1;
                break;
            }
            ++n;
        }
        if (!Base64DecodeFeed(&decoder->decoder, text + from, n)) return 0;
        from += n;
        count -= n;
    }
    return 1;
}

// The whole armoured body of a NUL-terminated text. Where the kernel can leave every '-'
// to us, it takes all it can between groups, and only what stopped it (a '-', padding,
// the NUL, a stray byte, the end of the room) goes through the checked scan in short
// slices; so the body decodes as fast as the same text bare.
static int DecodeArmouredBody(Base64TextDecoder *decoder)
{
    DecodeTextKernel kernel = ActiveKernel()->decodeArmourText;
    Base64Decoder *body = &decoder->decoder;
    uint32_t from = decoder->bodyStart;

    while (!decoder->armourEnded) {
        if (body->pendingCount == 0 && body->padding == 0) {
            uint32_t consumed = 0;
            body->written += kernel(decoder->text + from, body->output + body->written,
                                    body->outputSize - body->written, &consumed);
            from += consumed;
        }
        // Never past the NUL: the scan fails there, as the END line has not come.
        if (!FeedArmouredBody(decoder, from, ARMOUR_TAIL_CHARS)) return 0;
        from += ARMOUR_TAIL_CHARS;
    }
    return 1;
}

int Base64TextDecodeFeed(Base64TextDecoder *decoder, uint32_t from, uint32_t count)
{
    int ok = 0;

    if (!decoder || decoder->failed) return 0;
    // The head was read at the start; what lies before the body has nothing to decode.
    if (from < decoder->bodyStart) {
        uint32_t head = decoder->bodyStart - from < count ? decoder->bodyStart - from : count;
        from += head;
        count -= head;
    }
    if (count == 0 || decoder->armourEnded) return 1;
    if (decoder->armoured) ok = FeedArmouredBody(decoder, from, count);
    else ok = Base64DecodeFeed(&decoder->decoder, decoder->text + from, count);
    if (!ok) decoder->failed = 1;
    return ok;
}

// A bare text whose last line is an armour line ("-----END ...-----" with its BEGIN line
// missing) would decode the armour as data. Only a text that ends in '-' costs a look
// back over its last line.
static int EndsInArmourLine(const char *text, uint32_t start, uint32_t end)
{
    while (end > start && IsSpace(text[end - 1])) --end;
    if (end == start || text[end - 1] != '-') return 0;
    while (end > start && !IsLineBreak(text[end - 1])) --end;
    while (IsBlank(text[end])) ++end;
    return StartsWith(text + end, HYPHENS);
}

int Base64TextDecodeFinish(Base64TextDecoder *decoder, uint32_t textLength)
{
    int ok = 0;

    if (!decoder || decoder->failed) return 0;
    if (decoder->armoured) ok = decoder->armourEnded && Base64DecodeFinish(&decoder->decoder);
    else ok = Base64DecodeFinish(&decoder->decoder) &&
              !EndsInArmourLine(decoder->text, decoder->bodyStart, textLength);
    if (!ok) decoder->failed = 1;
    return ok;
}

// The fewest characters that decode to `size` bytes: where a decodable text cannot have
// its NUL yet.
static uint32_t DataCharsOf(uint32_t size)
{
    return size / 3 * 4 + (size % 3 ? size % 3 + 1 : 0);
}

int Base64Decode(const char *text, uint8_t *output, uint32_t outputSize)
{
    Base64TextDecoder decoder;
    const char *body = 0;
    uint32_t end = 0;

    if (!text || !output) return 0;
    Base64TextDecodeBegin(&decoder, text, output, outputSize);
    if (decoder.failed) return 0;
    if (decoder.armoured) {
        if (!DecodeArmouredBody(&decoder)) return 0;
        return Base64TextDecodeFinish(&decoder, 0);
    }
    body = text + decoder.bodyStart;
    if (!DecodeBareText(body, output, outputSize)) return 0;
    // Only the whitespace and padding past the data is left to scan for the end.
    end = DataCharsOf(outputSize);
    end += ActiveKernel()->span(body + end, NO_LIMIT);
    return !EndsInArmourLine(body, 0, end);
}

// The characters of an END line the bare measure of the body did not count: all but its
// label's spaces and '='.
static uint32_t EndLineCount(const Base64TextDecoder *decoder)
{
    uint32_t count = END_LINE_DATA_CHARS;
    for (uint32_t i = 0; i < decoder->labelLength; ++i) {
        char c = decoder->text[decoder->labelStart + i];
        count += c != ' ' && c != '=';
    }
    return count;
}

// Counts every character of the wrapper with the whitespace and padding of the body, so
// that Base64DecodedSize stays exact: the head by position, the END line by its label.
uint32_t Base64MeasureText(const char *text)
{
    Base64TextDecoder decoder;
    uint8_t none = 0;
    uint32_t count = 0;

    if (!text) return 0;
    Base64TextDecodeBegin(&decoder, text, &none, 0);
    if (decoder.failed) return MeasureBareText(text);   // it will not decode; any count does
    count = decoder.bodyStart + MeasureBareText(text + decoder.bodyStart);
    if (decoder.armoured) count += EndLineCount(&decoder);
    return count;
}

int Base64MeasureTextAndLength(const char *text, uint32_t *length, uint32_t *measured)
{
    Base64TextDecoder decoder;
    uint8_t none = 0;
    uint32_t bodyLength = 0, count = 0;

    if (!text || !length || !measured) return 0;
    Base64TextDecodeBegin(&decoder, text, &none, 0);
    if (decoder.failed) return MeasureBareTextAndLength(text, length, measured);
    if (!MeasureBareTextAndLength(text + decoder.bodyStart, &bodyLength, &count)) return 0;
    if ((uint64_t)decoder.bodyStart + bodyLength > 0xFFFFFFFFu) return 0;
    count += decoder.bodyStart;
    if (decoder.armoured) count += EndLineCount(&decoder);
    *length = decoder.bodyStart + bodyLength;
    *measured = count;
    return 1;
}
