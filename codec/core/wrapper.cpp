// codec/core/wrapper.cpp -- the text around a Base64 body: a UTF-8 BOM, PEM armour (RFC 7468)
// with explanatory text before and after it, and data: URLs. Lines that begin with five
// hyphens are found by a scan that runs just ahead of the decoder, so that the body is
// decoded as fast as a bare text. base64.cpp decodes; this finds the body and checks what
// surrounds it.
#include "codec/core/wrapper.h"
#include "codec/core/kernels.h"

// Texts are walked in slices this long: the scan for a NUL or '-' and the decoder (or the
// measure) take each slice in turn while it is still in the first-level cache.
static const uint32_t TEXT_SLICE_CHARS = 16384;
static const uint32_t NO_LIMIT = 0xFFFFFFFFu;
// What stopped a kernel that leaves every '-' to us is looked at in slices this short.
static const uint32_t ARMOUR_TAIL_CHARS = 64;

static const char BEGIN_LINE[] = "-----BEGIN ";
static const char END_LINE[] = "-----END ";
static const char HYPHENS[] = "-----";

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

// 1 when blanks and then a line break or the text's end follow text[at]: an armour line's
// end. Anything else there (a second block run on, a note) is not ours to drop.
static int EndsLine(const char *text, uint32_t at)
{
    while (IsBlank(text[at])) ++at;
    return IsLineBreak(text[at]) || text[at] == '\0';
}

// Reads "-----BEGIN <label>-----" at text[at], ending its line. The label is printable
// ASCII other than '-', words separated by single spaces, maybe empty. The body starts
// after it, where the decode starts afresh: what came before was explanatory text.
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
    p += sizeof(HYPHENS) - 1;
    if (!EndsLine(text, p)) return 0;   // the body is on lines of its own
    decoder->labelStart = label;
    decoder->labelLength = p - (sizeof(HYPHENS) - 1) - label;
    decoder->next = p;
    Base64DecodeBegin(&decoder->decoder, decoder->decoder.output, decoder->decoder.outputSize);
    decoder->part = PART_BODY;
    return 1;
}

// Reads "-----END <label>-----" with the BEGIN line's label at text[at], ending its line.
static int ReadEndLine(Base64TextDecoder *decoder, uint32_t at)
{
    const char *text = decoder->text;
    uint32_t p = at + sizeof(END_LINE) - 1;

    if (!StartsWith(text + at, END_LINE)) return 0;
    for (uint32_t i = 0; i < decoder->labelLength; ++i, ++p)
        if (text[p] != text[decoder->labelStart + i]) return 0;
    if (!StartsWith(text + p, HYPHENS) || !EndsLine(text, p + sizeof(HYPHENS) - 1)) return 0;
    decoder->next = p + sizeof(HYPHENS) - 1;
    decoder->part = PART_AFTER_END;
    return 1;
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
    decoder->next = comma + 1;
    decoder->dataUrl = 1;
    return 1;
}

// A BOM is passed over, and text that starts, after whitespace, with "data:" must be a
// data: URL. Everything else is read from its first character on (the BOM's end), bare
// Base64 until an armour line says otherwise.
static int ReadHead(Base64TextDecoder *decoder)
{
    const char *text = decoder->text;
    uint32_t p = 0;

    if (StartsWith(text, "\xEF\xBB\xBF")) p = 3;
    decoder->firstLine = p;
    decoder->next = p;
    while (IsSpace(text[p])) ++p;
    if (StartsWithNoCase(text + p, "data:")) return ReadDataUrlPrefix(decoder, p);
    return 1;
}

void Base64TextDecodeBegin(Base64TextDecoder *decoder, const char *text, uint8_t *output,
                           uint32_t outputSize)
{
    Base64DecodeBegin(&decoder->decoder, output, outputSize);
    decoder->text = text;
    decoder->firstLine = 0;
    decoder->next = 0;
    decoder->labelStart = 0;
    decoder->labelLength = 0;
    decoder->part = PART_BARE;
    decoder->dataUrl = 0;
    decoder->failed = decoder->decoder.failed || !text || !ReadHead(decoder);
}

// 1 when the '-' at text[at] begins its line (after blanks) and four more follow: an
// armour line. The text's first line begins after its BOM.
static int StartsArmourLine(const Base64TextDecoder *decoder, uint32_t at)
{
    const char *text = decoder->text;
    uint32_t p = at;

    while (p > decoder->firstLine && IsBlank(text[p - 1])) --p;
    return (p == decoder->firstLine || IsLineBreak(text[p - 1])) && StartsWith(text + at, HYPHENS);
}

// The characters from text[from] on, at most `limit`, before the NUL or the first armour
// line (then *armourLine is 1). The scan stops only where two hyphens begin (single ones
// are base64url data), and only such a pair that starts a line gets a closer look.
static uint32_t SpanToArmourLine(const Base64TextDecoder *decoder, uint32_t from, uint32_t limit,
                                 int *armourLine)
{
    const char *text = decoder->text + from;
    SpanKernel scan = ActiveKernel()->hyphenSpan;
    uint32_t n = 0;

    *armourLine = 0;
    for (;;) {
        n += scan(text + n, limit - n);
        if (n == limit || text[n] == '\0') return n;
        if (StartsArmourLine(decoder, from + n)) {
            *armourLine = 1;
            return n;
        }
        ++n;
    }
}

// The armour line at text[at]: in bare text the BEGIN line, in the body its END line. Any
// other is refused: a first one that is not a BEGIN line, one inside the body that is not
// its END line, any after the END line (a second block: one output cannot hold both), and
// any in a data: URL.
static int TakeArmourLine(Base64TextDecoder *decoder, uint32_t at)
{
    if (decoder->part == PART_BARE) return !decoder->dataUrl && ReadBeginLine(decoder, at);
    if (decoder->part == PART_BODY) return ReadEndLine(decoder, at);
    return 0;
}

// Decodes text[from, from + count), all in one part: in the body, and in bare text until
// it fails to decode, when it may still be explanatory text before a BEGIN line.
static int FeedData(Base64TextDecoder *decoder, uint32_t from, uint32_t count)
{
    Base64Decoder *data = &decoder->decoder;

    if (count == 0 || decoder->part == PART_AFTER_END) return 1;
    if (decoder->part == PART_BARE && data->failed) return 1;
    if (Base64DecodeFeed(data, decoder->text + from, count)) return 1;
    return decoder->part == PART_BARE && !decoder->dataUrl;
}

// Takes text[from, from + count) in slices, stopping early at the NUL and after an armour
// line; decoder->next says how far it got.
static int FeedText(Base64TextDecoder *decoder, uint32_t from, uint32_t count)
{
    while (count > 0) {
        uint32_t slice = count < TEXT_SLICE_CHARS ? count : TEXT_SLICE_CHARS;
        int armourLine = 0;
        uint32_t n = SpanToArmourLine(decoder, from, slice, &armourLine);
        if (!FeedData(decoder, from, n)) return 0;
        from += n;
        count -= n;
        decoder->next = from;
        if (armourLine) return TakeArmourLine(decoder, from);
        if (n < slice) break;   // the NUL
    }
    return 1;
}

// Takes the text from decoder->next on up to `end` (or its NUL), stopping early only when
// it cannot decode. Where the kernel can leave every '-' to us, it takes all it can of
// bare text and the body between groups, as much as the characters up to `end` can make
// (a little past it where they hold whitespace: a later piece passes over what it took),
// and only what stopped it (a '-', padding, the NUL, a stray byte, the end of the room or
// of the piece) goes through the checked scan in short slices; so the body decodes as fast
// as the same text bare, and a job's pieces of bare text as fast as the whole.
static int DecodeUpTo(Base64TextDecoder *decoder, uint32_t end)
{
    DecodeTextKernel kernel = ActiveKernel()->decodeArmourText;
    Base64Decoder *data = &decoder->decoder;
    const char *text = decoder->text;

    while (decoder->next < end && text[decoder->next]) {
        uint32_t count = end - decoder->next;
        if (decoder->part != PART_AFTER_END && !data->failed) {
            if (data->pendingCount == 0 && data->padding == 0) {
                uint32_t room = data->outputSize - data->written, most = count / 4 * 3, consumed = 0;
                data->written += kernel(text + decoder->next, data->output + data->written,
                                        room < most ? room : most, &consumed);
                decoder->next += consumed;
                if (decoder->next >= end) break;
                count = end - decoder->next;
            }
            // Where it stopped at a '-', the text is likely base64url, which stops it at
            // every '-': a whole slice goes the careful way instead.
            if (count > ARMOUR_TAIL_CHARS && text[decoder->next] != '-') count = ARMOUR_TAIL_CHARS;
        }
        if (!FeedText(decoder, decoder->next, count)) return 0;
    }
    return 1;
}

int Base64TextDecodeFeed(Base64TextDecoder *decoder, uint32_t from, uint32_t count)
{
    uint32_t end = from + count;

    if (!decoder || decoder->failed) return 0;
    // What a piece holds before decoder->next (a BOM, a data: URL's prefix, the rest of an
    // armour line, what the kernel took past the last piece) was taken with an earlier one.
    // A NUL inside the piece ends the text before the caller said it would.
    if (from > decoder->next || !DecodeUpTo(decoder, end) ||
        (decoder->next < end && decoder->text[decoder->next] == '\0'))
        decoder->failed = 1;   // from > next: a gap, the pieces do not join up
    return !decoder->failed;
}

// The end-of-text rules of the part the text ended in: bare text must have decoded, and
// armour must have met its END line.
static int FinishText(Base64TextDecoder *decoder)
{
    if (decoder->failed || decoder->part == PART_BODY) return 0;
    return Base64DecodeFinish(&decoder->decoder);
}

int Base64TextDecodeFinish(Base64TextDecoder *decoder, uint32_t textLength)
{
    int ok = 0;

    if (!decoder) return 0;
    ok = decoder->next == textLength && FinishText(decoder);
    if (!ok) decoder->failed = 1;
    return ok;
}

int Base64Decode(const char *text, uint8_t *output, uint32_t outputSize)
{
    Base64TextDecoder decoder;
    const char *stop = 0;

    if (!text || !output) return 0;
    Base64TextDecodeBegin(&decoder, text, output, outputSize);
    if (decoder.failed) return 0;
    // Most texts are bare and hold no '-': they go the fast way to their NUL, and the
    // careful way takes over only from a '-' or a failed decode on. A text that starts
    // with its armour is on the careful way at once.
    for (stop = text + decoder.next; IsSpace(*stop);) ++stop;
    if (*stop != '-') stop = DecodeBareText(&decoder.decoder, text + decoder.next);
    else stop = text + decoder.next;
    if (*stop == '\0') return Base64DecodeFinish(&decoder.decoder);
    if ((uintptr_t)(stop - text) >= NO_LIMIT) return 0;
    decoder.next = (uint32_t)(stop - text);
    if (decoder.decoder.failed && decoder.dataUrl) return 0;
    // Short of the NUL only at 4 GiB of text, which only a 64-bit caller can have.
    return DecodeUpTo(&decoder, NO_LIMIT) && !text[decoder.next] && FinishText(&decoder);
}

// Base64MeasureText's count and the text's length, in one walk over the text by a measure
// that stops where an armour line may begin.
// What the decode passes over counts whole (a BOM, a data: URL's prefix, explanatory text,
// the armour lines); in bare text and the body, their whitespace and '='. Bare text turns
// out to be explanatory only at a BEGIN line, so it is counted both ways until then.
// Returns 0 for a text of 2^32 - 1 characters or more (possible in 64-bit builds only).
static int MeasureWholeText(const char *text, uint32_t *length, uint32_t *measured)
{
    Base64TextDecoder walk;
    MeasureKernel measure = ActiveKernel()->hyphenMeasure;
    uint8_t none = 0;
    uint32_t count = 0, bareChars = 0, bareFillers = 0;

    Base64TextDecodeBegin(&walk, text, &none, 0);
    // It will not decode; any count does.
    if (walk.failed) return MeasureBareTextAndLength(text, length, measured);
    count = walk.next;
    for (;;) {
        uint32_t from = walk.next, slice = NO_LIMIT - from, fillers = 0, n = 0;
        int armourLine = 0, wasBare = walk.part == PART_BARE;
        if (slice == 0) return 0;
        // The measure stops where two hyphens begin; a pair that begins no armour line is data.
        for (;;) {
            uint32_t part = 0;
            n += measure(text + from + n, slice - n, &part);
            fillers += part;
            if (n == slice || text[from + n] == '\0') break;
            if (StartsArmourLine(&walk, from + n)) {
                armourLine = 1;
                break;
            }
            ++n;
        }
        if (wasBare) {
            bareChars += n;
            bareFillers += fillers;
        } else {
            count += walk.part == PART_BODY ? fillers : n;
        }
        walk.next = from += n;
        if (armourLine) {
            if (!TakeArmourLine(&walk, from)) {
                // It will not decode; the rest is measured bare, for the length.
                uint32_t restLength = 0, restCount = 0;
                if (!MeasureBareTextAndLength(text + from, &restLength, &restCount) ||
                    (uint64_t)from + restLength > NO_LIMIT)
                    return 0;
                *length = from + restLength;
                *measured = count + bareFillers + restCount;
                return 1;
            }
            if (wasBare) {
                count += bareChars;   // explanatory text
                bareChars = bareFillers = 0;
            }
            count += walk.next - from;
            continue;
        }
        if (n < slice) break;   // the NUL
    }
    *length = walk.next;
    *measured = count + bareFillers;
    return 1;
}

uint32_t Base64MeasureText(const char *text)
{
    uint32_t length = 0, measured = 0;

    if (!text) return 0;
    if (MeasureWholeText(text, &length, &measured)) return measured;
    // 4 GiB of text and more: no 32-bit size fits it, and the count wraps as one must.
    return MeasureBareText(text);
}

int Base64MeasureTextAndLength(const char *text, uint32_t *length, uint32_t *measured)
{
    if (!text || !length || !measured) return 0;
    return MeasureWholeText(text, length, measured);
}
