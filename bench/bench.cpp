// bench/bench.cpp -- throughput of every kernel this CPU runs, with memcpy of the same size
// measured in the same run, (mode "measure") the passes that size a decode, and (mode
// "file") the whole-file path against a plain copy.
// Usage: codec_bench [kernels | measure | file | smoke] [kernel...]. Exit code 1 when a
// conversion gave a wrong result, so the smoke run catches a broken kernel.
#include "bench/wholefile.h"
#include "codec/core/base64.h"
#include "codec/core/wrapper.h"
#include "codec/core/kernels.h"

#include <chrono>
#include <functional>
#include <initializer_list>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const uint32_t KIB = 1024, MIB = 1024 * 1024;

struct BenchSettings {
    int runs;               // the best of this many timed runs is reported
    double minRunSeconds;   // small sizes repeat within a run until it lasts this long
};

static double Seconds(void)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Best seconds per call of each work over the runs. Each run repeats a call enough times
// to last minRunSeconds, so the clock's resolution does not matter at 4 KiB. The works'
// runs are taken in turn, so that a busy spell on the machine (or a change of clock) slows
// all of them rather than one, and the ratios between them hold.
enum { MAX_IN_TURN = 8 };
static void BestSecondsInTurn(const BenchSettings *settings, const std::function<void()> *works,
                              int count, double *best)
{
    uint32_t repeats[MAX_IN_TURN];
    if (count > MAX_IN_TURN) count = MAX_IN_TURN;
    for (int w = 0; w < count; ++w) {
        double start = Seconds();
        works[w]();
        double once = Seconds() - start;
        repeats[w] = once > 0 ? (uint32_t)(settings->minRunSeconds / once) + 1 : 1000;
        best[w] = 1e30;
    }
    for (int run = 0; run < settings->runs; ++run) {
        for (int w = 0; w < count; ++w) {
            double start = Seconds();
            for (uint32_t i = 0; i < repeats[w]; ++i) works[w]();
            double each = (Seconds() - start) / repeats[w];
            if (each < best[w]) best[w] = each;
        }
    }
}

template <class Work>
static double BestSeconds(const BenchSettings *settings, Work work)
{
    const std::function<void()> works[] = {work};
    double best = 0;
    BestSecondsInTurn(settings, works, 1, &best);
    return best;
}

// The median of `count` figures (the mean of the middle two for an even count) and the
// least of them.
static void MedianAndLeast(const double *figures, int count, double *median, double *least)
{
    double sorted[16];
    if (count > 16) count = 16;
    for (int i = 0; i < count; ++i) {
        int j = i;
        for (; j > 0 && sorted[j - 1] > figures[i]; --j) sorted[j] = sorted[j - 1];
        sorted[j] = figures[i];
    }
    *median = count % 2 ? sorted[count / 2] : (sorted[count / 2 - 1] + sorted[count / 2]) / 2;
    *least = sorted[0];
}

static double GigabytesPerSecond(uint32_t bytes, double seconds)
{
    return bytes / seconds / 1e9;
}

static void FillRandom(uint8_t *data, uint32_t size, uint32_t seed)
{
    for (uint32_t i = 0; i < size; ++i) {
        seed = seed * 1664525u + 1013904223u;
        data[i] = (uint8_t)(seed >> 24);
    }
}

// Copies `text` into `broken` with `lineEnd` after every `lineLength` characters, as mail
// and PEM files carry it. `broken` needs room for the result and its NUL.
static void BreakLines(const char *text, uint32_t length, char *broken, uint32_t lineLength,
                       const char *lineEnd)
{
    uint32_t endLength = (uint32_t)strlen(lineEnd);
    for (uint32_t i = 0; i < length; i += lineLength) {
        uint32_t n = length - i < lineLength ? length - i : lineLength;
        memcpy(broken, text + i, n);
        broken += n;
        memcpy(broken, lineEnd, endLength);
        broken += endLength;
    }
    *broken = '\0';
}

static uint32_t BrokenSize(uint32_t length, uint32_t lineLength, uint32_t endLength)
{
    return length + (length + lineLength - 1) / lineLength * endLength + 1;
}

static const char PEM_BEGIN[] = "-----BEGIN CERTIFICATE-----\n";
static const char PEM_END[] = "-----END CERTIFICATE-----\n";

// Where each work's source and destination start within a page. A kernel's speed moves
// with them (loads and stores a page apart look alike to the CPU, and stores that cross a
// line cost two), so each figure is the median over these placements, with the slowest
// beside it; the first has both at the same offset.
struct Placement {
    uint32_t source, destination;
};
static const Placement PLACEMENTS[] = {{0, 0}, {16, 48}, {33, 33}, {1, 2049}, {2048, 5}};
enum { PLACEMENT_COUNT = sizeof PLACEMENTS / sizeof PLACEMENTS[0] };
static const uint32_t PAGE = 4096;

// A block of `size` bytes whose start may be put at any offset within a page.
struct Placeable {
    uint8_t *base;      // page-aligned, size + PAGE bytes
    uint32_t size;
    uint8_t *at;        // where the bytes are now
};

// Moves the block's bytes to start at `offset` within its page.
static void Place(Placeable *p, uint32_t offset)
{
    memmove(p->base + offset, p->at, p->size);
    p->at = p->base + offset;
}

// Memory for one size: the input, its text plain, line-broken and armoured as PEM (the
// LF/64 text between the armour lines), and the outputs, each placeable.
struct SizeBuffers {
    uint32_t size, textSize;
    Placeable input, decoded, encoded, text, crlf76, lf64, pem;
    uint8_t *blocks[7];     // as allocated, for freeing
};

static const char *TextAt(const Placeable *p)
{
    return (const char *)p->at;
}

static int AllocSizeBuffers(SizeBuffers *b, uint32_t size)
{
    Placeable *all[] = {&b->input, &b->decoded, &b->encoded, &b->text, &b->crlf76, &b->lf64, &b->pem};
    uint32_t sizes[7];
    int ok = 1;

    memset(b, 0, sizeof *b);
    b->size = size;
    b->textSize = Base64EncodedSize(size);
    sizes[0] = size;
    sizes[1] = size;
    sizes[2] = b->textSize;
    sizes[3] = b->textSize;
    sizes[4] = BrokenSize(b->textSize, 76, 2);
    sizes[5] = BrokenSize(b->textSize, 64, 1);
    sizes[6] = sizeof PEM_BEGIN + BrokenSize(b->textSize, 64, 1) + sizeof PEM_END;
    for (int i = 0; i < 7; ++i) {
        uint8_t *block = (uint8_t *)malloc((size_t)sizes[i] + 2 * PAGE);
        b->blocks[i] = block;
        if (!block) {
            ok = 0;
            continue;
        }
        all[i]->size = sizes[i];
        all[i]->base = block + (PAGE - (uintptr_t)block % PAGE);
        all[i]->at = all[i]->base;
    }
    if (!ok) return 0;
    FillRandom(b->input.at, size, size);
    char *text = (char *)b->text.at;
    if (!Base64Encode(b->input.at, size, text, b->textSize)) return 0;
    BreakLines(text, b->textSize - 1, (char *)b->crlf76.at, 76, "\r\n");
    BreakLines(text, b->textSize - 1, (char *)b->lf64.at, 64, "\n");
    strcpy((char *)b->pem.at, PEM_BEGIN);
    strcat((char *)b->pem.at, (const char *)b->lf64.at);
    strcat((char *)b->pem.at, PEM_END);
    return 1;
}

// Puts every source at one offset within its page and every destination at another.
static void PlaceSizeBuffers(SizeBuffers *b, const Placement *placement)
{
    Place(&b->input, placement->source);
    Place(&b->text, placement->source);
    Place(&b->crlf76, placement->source);
    Place(&b->lf64, placement->source);
    Place(&b->pem, placement->source);
    Place(&b->decoded, placement->destination);
    Place(&b->encoded, placement->destination);
}

static void FreeSizeBuffers(SizeBuffers *b)
{
    for (int i = 0; i < 7; ++i) free(b->blocks[i]);
}

// Decodes `text` and compares with the input; 1 when they agree.
static int DecodesBack(SizeBuffers *b, const char *text)
{
    memset(b->decoded.at, 0, b->size);
    return Base64Decode(text, b->decoded.at, b->size) && memcmp(b->decoded.at, b->input.at, b->size) == 0;
}

static const char *SizeName(uint32_t size, char *name)
{
    if (size >= MIB) sprintf(name, "%u MiB", size / MIB);
    else sprintf(name, "%u KiB", size / KIB);
    return name;
}

// The memcpy every figure is compared with; called through a volatile pointer so the
// compiler cannot drop or shorten the copy.
static void *(*volatile copyBytes)(void *, const void *, size_t) = memcpy;

// 1 when kernel `id` is to be measured: every kernel, or those named on the command line.
static int KernelWanted(int id, char **names, int count)
{
    if (count == 0) return 1;
    for (int i = 0; i < count; ++i)
        if (strcmp(names[i], KernelById(id)->name) == 0) return 1;
    return 0;
}

static int BenchOneSize(const BenchSettings *settings, uint32_t size, int chosen,
                        char **names, int nameCount)
{
    SizeBuffers b;
    char name[32];
    int ok = 1;

    if (!AllocSizeBuffers(&b, size)) {
        printf("%s: out of memory\n", SizeName(size, name));
        FreeSizeBuffers(&b);
        return 0;
    }
    printf("\n%s:\n", SizeName(size, name));
    printf("  %-7s %-7s %-22s %-22s %-8s %-28s %-28s %-18s %s\n", "kernel", "memcpy", "encode", "decode",
           "dec/enc", "CR LF/76 (vs plain)", "LF/64 (vs plain)", "PEM (vs LF)", "measure CR LF/76");
    uint32_t crlfLength = (uint32_t)strlen(TextAt(&b.crlf76));
    uint32_t padding = (3 - size % 3) % 3;
    for (int id = 0; id < KERNEL_COUNT; ++id) {
        if (!KernelWanted(id, names, nameCount)) continue;
        if (!KernelSupported(id) || !ForceKernel(id)) continue;
        int right = 1;
        uint32_t measured = 0;
        // memcpy again beside each kernel, so that every ratio in the row compares runs
        // taken in turn; the measure is the pass that sizes the output before a decode, over
        // the line-broken text, whose separators it counts.
        const std::function<void()> works[] = {
            [&] { copyBytes(b.decoded.at, b.input.at, size); },
            [&] { Base64Encode(b.input.at, size, (char *)b.encoded.at, b.textSize); },
            [&] { Base64Decode(TextAt(&b.text), b.decoded.at, size); },
            [&] { Base64Decode(TextAt(&b.crlf76), b.decoded.at, size); },
            [&] { Base64Decode(TextAt(&b.lf64), b.decoded.at, size); },
            [&] { Base64Decode(TextAt(&b.pem), b.decoded.at, size); },
            [&] { measured = Base64MeasureText(TextAt(&b.crlf76)); },
        };
        enum { WORKS = sizeof works / sizeof works[0] };
        double rates[WORKS][PLACEMENT_COUNT];
        for (int p = 0; p < PLACEMENT_COUNT; ++p) {
            PlaceSizeBuffers(&b, &PLACEMENTS[p]);
            right = right && DecodesBack(&b, TextAt(&b.text)) && DecodesBack(&b, TextAt(&b.crlf76)) &&
                    DecodesBack(&b, TextAt(&b.lf64)) && DecodesBack(&b, TextAt(&b.pem));
            double seconds[WORKS];
            BestSecondsInTurn(settings, works, WORKS, seconds);
            for (int w = 0; w < WORKS; ++w)
                rates[w][p] = GigabytesPerSecond(w == WORKS - 1 ? crlfLength : size, seconds[w]);
            right = right && measured == crlfLength - (b.textSize - 1) + padding &&
                    memcmp(b.encoded.at, b.text.at, b.textSize) == 0;
        }
        double median[WORKS], least[WORKS];
        for (int w = 0; w < WORKS; ++w) MedianAndLeast(rates[w], PLACEMENT_COUNT, &median[w], &least[w]);
        double copy = median[0], encode = median[1], decode = median[2], crlf = median[3], lf = median[4];
        printf("  %-7s %6.2f  %6.2f [%6.2f] (%.2fx)  %6.2f [%6.2f] (%.2fx)  %5.2f    %6.2f [%6.2f] (%.2fx, %.2f)  "
               "%6.2f [%6.2f] (%.2fx, %.2f)  %6.2f [%6.2f] (%.2f)  %6.2f [%6.2f]%s\n",
               KernelById(id)->name, copy, encode, least[1], encode / copy, decode, least[2], decode / copy,
               decode / encode, crlf, least[3], crlf / copy, crlf / decode, lf, least[4], lf / copy, lf / decode,
               median[5], least[5], median[5] / lf, median[6], least[6], right ? "" : "  WRONG RESULT");
        if (!right) ok = 0;
    }
    ForceKernel(chosen);
    FreeSizeBuffers(&b);
    return ok;
}

#ifndef _WIN32
// The tools people would otherwise reach for, run through a shell on files of the largest
// size, timed the same way (best of the runs). Only tools already on the machine are used.
static void BenchTools(const BenchSettings *settings, uint32_t size)
{
    struct Tool {
        const char *label, *probe, *encode, *decode;
    };
    static const Tool TOOLS[] = {
        {"coreutils base64", "command -v base64",
         "base64 codec_bench_in.tmp > codec_bench_tool.txt",
         "base64 -d codec_bench_tool.txt > codec_bench_out.tmp"},
        {"openssl base64", "command -v openssl",
         "openssl base64 -in codec_bench_in.tmp -out codec_bench_tool.txt",
         "openssl base64 -d -in codec_bench_tool.txt -out codec_bench_out.tmp"},
    };
    uint8_t *input = AllocZeroed(size);
    char name[32];

    if (!input) return;
    FillRandom(input, size, size);
    if (!WriteWholeFile("codec_bench_in.tmp", input, size)) {
        printf("cannot write codec_bench_in.tmp\n");
        FreeBlock(input);
        return;
    }
    printf("\nOther tools, %s, separate processes through a shell, file to file (their own"
           " line breaks), best of %d:\n", SizeName(size, name), settings->runs);
    for (const Tool &tool : TOOLS) {
        char probe[128];
        snprintf(probe, sizeof probe, "%s > /dev/null 2>&1", tool.probe);
        if (system(probe) != 0) {
            printf("  %-18s not installed\n", tool.label);
            continue;
        }
        int right = system(tool.encode) == 0 && system(tool.decode) == 0;
        double encode = GigabytesPerSecond(size, BestSeconds(settings, [&] {
            if (system(tool.encode) != 0) right = 0; }));
        double decode = GigabytesPerSecond(size, BestSeconds(settings, [&] {
            if (system(tool.decode) != 0) right = 0; }));
        printf("  %-18s encode %6.2f GB/s   decode %6.2f GB/s%s\n", tool.label, encode, decode,
               right ? "" : "  (failed)");
    }
    RemoveFile("codec_bench_in.tmp");
    RemoveFile("codec_bench_tool.txt");
    RemoveFile("codec_bench_out.tmp");
    FreeBlock(input);
}
#endif

static int ChosenKernelId(void)
{
    const Kernel *chosen = ActiveKernel();
    for (int id = 0; id < KERNEL_COUNT; ++id)
        if (KernelById(id) == chosen) return id;
    return KERNEL_SCALAR;
}

static int BenchKernels(const BenchSettings *settings, const uint32_t *sizes, int count, int tools,
                        char **names, int nameCount)
{
    int chosen = ChosenKernelId();
    int ok = 1;

    printf("Base64 throughput in GB/s (1e9 bytes/s), best of %d runs; encode counts input bytes,\n"
           "decode counts decoded bytes; (n.nnx) is the ratio to the memcpy of the same size on\n"
           "that row, and for line-broken text the second figure is the ratio to the plain text;\n"
           "dec/enc is decode over encode of the same kernel and size; PEM is the LF/64 text\n"
           "between armour lines, against that text bare. A row's runs are taken in turn.\n"
           "measure (MeasureText) counts text bytes. Each figure is the median over %d placements\n"
           "of the buffers within a page, [the slowest] beside it; ratios are of the medians.\n"
           "Kernels this CPU runs:", settings->runs, (int)PLACEMENT_COUNT);
    for (int id = 0; id < KERNEL_COUNT; ++id)
        if (KernelSupported(id)) printf(" %s", KernelById(id)->name);
    printf("; chosen: %s; %d-bit build.\n", KernelById(chosen)->name, (int)sizeof(void *) * 8);
    for (int i = 0; i < count; ++i)
        if (!BenchOneSize(settings, sizes[i], chosen, names, nameCount)) ok = 0;
#ifndef _WIN32
    if (tools) BenchTools(settings, sizes[count - 1]);
#else
    (void)tools;
#endif
    return ok;
}

// A text of `length` alphabet characters and its NUL, with `lineEnd` after every 76
// characters when it is not NULL. Returns the characters of the line ends.
static uint32_t FillText(char *text, uint32_t length, const char *lineEnd)
{
    uint32_t ends = 0;
    static const char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    uint32_t seed = length, column = 0, endLength = lineEnd ? (uint32_t)strlen(lineEnd) : 0;
    for (uint32_t i = 0; i < length; ++i) {
        if (lineEnd && column == 76 && length - i >= endLength) {
            memcpy(text + i, lineEnd, endLength);
            i += endLength - 1;
            ends += endLength;
            column = 0;
            continue;
        }
        seed = seed * 1664525u + 1013904223u;
        text[i] = ALPHABET[seed >> 26];
        ++column;
    }
    text[length] = '\0';
    return ends;
}

// What a decode job does before it starts, on a text of `length` characters: the text's
// length and MeasureText, per kernel.
static int BenchMeasure(const BenchSettings *settings, uint32_t length, char **names, int nameCount)
{
    char *text = (char *)malloc((size_t)length + 1);
    int chosen = ChosenKernelId();
    int ok = 1;

    if (!text) {
        printf("out of memory for a %u-byte text\n", length);
        return 0;
    }
    printf("Sizing a %u MB text before a decode, ms, best of %d runs; %d-bit build.\n",
           length / 1000000, settings->runs, (int)sizeof(void *) * 8);
    for (const char *lineEnd : {(const char *)NULL, "\r\n"}) {
        uint32_t ends = FillText(text, length, lineEnd);
        printf("%s:\n  %-7s %-9s %-12s %-22s %s\n", lineEnd ? "in lines of 76 and CR LF" : "one line",
               "kernel", "strlen", "MeasureText", "strlen + MeasureText", "both in one pass");
        for (int id = 0; id < KERNEL_COUNT; ++id) {
            if (!KernelWanted(id, names, nameCount)) continue;
            if (!KernelSupported(id) || !ForceKernel(id)) continue;
            size_t counted = 0;
            uint32_t measured = 0;
            double scan = BestSeconds(settings, [&] { counted = strlen(text); });
            double measure = BestSeconds(settings, [&] { measured = Base64MeasureText(text); });
            if (counted != length || measured != ends) ok = 0;
            uint32_t onePassLength = 0;
            double both = BestSeconds(settings, [&] {
                Base64MeasureTextAndLength(text, &onePassLength, &measured); });
            if (onePassLength != length || measured != ends) ok = 0;
            printf("  %-7s %7.1f   %7.1f      %7.1f                %7.1f%s\n", KernelById(id)->name,
                   scan * 1e3, measure * 1e3, (scan + measure) * 1e3, both * 1e3,
                   ok ? "" : "  WRONG RESULT");
        }
    }
    ForceKernel(chosen);
    free(text);
    return ok;
}

// The program's whole-file encode: read whole into a zero-filled block, a zero-filled
// output of the encoded size, encode, write whole.
static int EncodeFile(const char *from, const char *to)
{
    uint8_t *input = NULL, *text = NULL;
    uint32_t size = 0, textSize = 0;
    int ok = 0;

    if (!ReadWholeFile(from, &input, &size, 0)) goto done;
    textSize = Base64EncodedSize(size);
    if (textSize == 0 || !(text = AllocZeroed(textSize))) goto done;
    if (!Base64Encode(input, size, (char *)text, textSize)) goto done;
    ok = WriteWholeFile(to, text, textSize - 1);
done:
    FreeBlock(input);
    FreeBlock(text);
    return ok;
}

// The program's whole-file decode: read whole with room for a NUL, measure, a zero-filled
// output of the decoded size, decode, write whole.
static int DecodeFile(const char *from, const char *to)
{
    uint8_t *text = NULL, *output = NULL;
    uint32_t size = 0, outputSize = 0;
    int ok = 0;

    if (!ReadWholeFile(from, &text, &size, 1)) goto done;
    outputSize = Base64DecodedSize(size, Base64MeasureText((const char *)text));
    if (!(output = AllocZeroed(outputSize))) goto done;
    if (!Base64Decode((const char *)text, output, outputSize)) goto done;
    ok = WriteWholeFile(to, output, outputSize);
done:
    FreeBlock(text);
    FreeBlock(output);
    return ok;
}

static int CopyFile(const char *from, const char *to)
{
    uint8_t *data = NULL;
    uint32_t size = 0;
    int ok = 0;

    if (!ReadWholeFile(from, &data, &size, 0)) return 0;
    ok = WriteWholeFile(to, data, size);
    FreeBlock(data);
    return ok;
}

// The fair baseline for a conversion: the same read, a zero-filled block of the output's
// size filled by memset in place of the conversion, and the same write. Encoding writes
// 4/3 of what it reads and needs a second block, which a plain copy does not; this
// isolates what the conversion itself adds. The memset also takes the block's first-touch
// page faults, as the conversion does.
static int ReadAndWriteSized(const char *from, uint32_t extra, const char *to, uint32_t outputSize)
{
    uint8_t *data = NULL, *output = NULL;
    uint32_t size = 0;
    int ok = 0;

    if (!ReadWholeFile(from, &data, &size, extra)) goto done;
    if (!(output = AllocZeroed(outputSize))) goto done;
    memset(output, 'A', outputSize);
    ok = WriteWholeFile(to, output, outputSize);
done:
    FreeBlock(data);
    FreeBlock(output);
    return ok;
}

static int BenchFiles(const BenchSettings *settings, uint32_t size)
{
    uint8_t *input = AllocZeroed(size), *back = NULL;
    uint32_t backSize = 0;
    char name[32];
    int ok = 0;

    if (!input) goto done;
    FillRandom(input, size, size);
    if (!WriteWholeFile("codec_bench_in.tmp", input, size)) goto done;
    if (!EncodeFile("codec_bench_in.tmp", "codec_bench_text.tmp")) goto done;
    if (!DecodeFile("codec_bench_text.tmp", "codec_bench_back.tmp")) goto done;
    if (!ReadWholeFile("codec_bench_back.tmp", &back, &backSize, 0)) goto done;
    if (backSize != size || memcmp(back, input, size) != 0) {
        printf("the decoded file differs from the input\n");
        goto done;
    }
    {
        int right = 1;
        double encode = BestSeconds(settings, [&] {
            if (!EncodeFile("codec_bench_in.tmp", "codec_bench_text.tmp")) right = 0; });
        double copyInput = BestSeconds(settings, [&] {
            if (!CopyFile("codec_bench_in.tmp", "codec_bench_copy.tmp")) right = 0; });
        double decode = BestSeconds(settings, [&] {
            if (!DecodeFile("codec_bench_text.tmp", "codec_bench_back.tmp")) right = 0; });
        double copyText = BestSeconds(settings, [&] {
            if (!CopyFile("codec_bench_text.tmp", "codec_bench_copy.tmp")) right = 0; });
        uint32_t textLength = Base64EncodedSize(size) - 1;
        double encodeIo = BestSeconds(settings, [&] {
            if (!ReadAndWriteSized("codec_bench_in.tmp", 0, "codec_bench_copy.tmp", textLength)) right = 0; });
        double decodeIo = BestSeconds(settings, [&] {
            if (!ReadAndWriteSized("codec_bench_text.tmp", 1, "codec_bench_copy.tmp", size)) right = 0; });
        printf("Whole-file path, %s input, kernel %s, %d-bit build, best of %d runs:\n",
               SizeName(size, name), ActiveKernel()->name, (int)sizeof(void *) * 8, settings->runs);
        printf("  encode file   %8.1f ms   plain copy of the input %8.1f ms   ratio %.2f\n",
               encode * 1e3, copyInput * 1e3, encode / copyInput);
        printf("  decode file   %8.1f ms   plain copy of the text  %8.1f ms   ratio %.2f\n",
               decode * 1e3, copyText * 1e3, decode / copyText);
        printf("Fair comparison: the same read, zero-filled output block and write of the output's\n"
               "size, memset in place of the conversion (encode writes 4/3 of what it reads):\n");
        printf("  encode file   %8.1f ms   same I/O and memset    %8.1f ms   ratio %.2f\n",
               encode * 1e3, encodeIo * 1e3, encode / encodeIo);
        printf("  decode file   %8.1f ms   same I/O and memset    %8.1f ms   ratio %.2f\n",
               decode * 1e3, decodeIo * 1e3, decode / decodeIo);
        ok = right;
    }
done:
    RemoveFile("codec_bench_in.tmp");
    RemoveFile("codec_bench_text.tmp");
    RemoveFile("codec_bench_back.tmp");
    RemoveFile("codec_bench_copy.tmp");
    FreeBlock(input);
    FreeBlock(back);
    if (!ok) printf("whole-file benchmark failed\n");
    return ok;
}

int main(int argc, char **argv)
{
    static const uint32_t SIZES[] = {4 * KIB, 128 * KIB, 1 * MIB, 64 * MIB};
    static const uint32_t SMOKE_SIZES[] = {4 * KIB + 1, 128 * KIB + 2};
    const char *mode = argc > 1 ? argv[1] : "kernels";
    // Many short runs rather than a few long ones: on a busy machine the best of them is
    // more often one that ran undisturbed.
    BenchSettings settings = {21, 0.01};

    // Any further arguments name the kernels to measure; by default every one this CPU runs.
    char **names = argv + (argc > 2 ? 2 : argc);
    int nameCount = argc > 2 ? argc - 2 : 0;

    setvbuf(stdout, NULL, _IONBF, 0);
    if (strcmp(mode, "kernels") == 0) {
        // Every figure is taken at each placement: fewer runs at each keep the whole run short.
        settings.runs = 11;
        return BenchKernels(&settings, SIZES, 4, 1, names, nameCount) ? 0 : 1;
    }
    if (strcmp(mode, "measure") == 0) {
        settings.runs = 5;
        settings.minRunSeconds = 0;
        return BenchMeasure(&settings, 200000000, names, nameCount) ? 0 : 1;
    }
    if (strcmp(mode, "file") == 0) {
        settings.runs = 5;
        settings.minRunSeconds = 0;
        return BenchFiles(&settings, 100 * MIB) ? 0 : 1;
    }
    if (strcmp(mode, "smoke") == 0) {
        settings.runs = 1;
        settings.minRunSeconds = 0.01;
        return BenchKernels(&settings, SMOKE_SIZES, 2, 0, names, nameCount) ? 0 : 1;
    }
    fprintf(stderr, "usage: codec_bench [kernels | measure | file | smoke] [kernel...]\n");
    return 2;
}
