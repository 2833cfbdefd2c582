// codec/core/kernels.h -- the per-CPU inner loops, one signature each, chosen once per
// process. A kernel does the bulk of whole groups and may stop early; the portable code
// around it does the rest, so every kernel agrees on the edges by construction.
#pragma once
#include <stdint.h>

#include "codec/core/shared.h"

// Encodes whole 3-byte groups: reads at most blocks * 3 bytes and writes 4 characters a
// group. Returns the number of groups done, which may be fewer than asked.
typedef uint32_t (*EncodeKernel)(const uint8_t *input, uint32_t blocks, char *output);

// Decodes from the start of `text` while it meets alphabet characters ('-' and '_'
// included) and ASCII whitespace, storing whole 3-byte groups only and at most
// outputRoom bytes. Stops before '=', NUL or any other character, and whenever it cannot
// go on with whole groups. Returns the bytes stored (a multiple of 3) and sets *consumed
// to the characters used, which end just after the 4th data character of a group (or at
// 0), so the caller's decoder state carries over unchanged. Never reads text[length] or
// beyond, never writes output[outputRoom] or beyond.
typedef uint32_t (*DecodeKernel)(const char *text, uint32_t length, uint8_t *output,
                                 uint32_t outputRoom, uint32_t *consumed);

// As DecodeKernel, for a NUL-terminated text of unknown length: stops at the NUL as at
// any other character it leaves to the caller. Reads only within the pages holding the
// text and its NUL.
typedef uint32_t (*DecodeTextKernel)(const char *text, uint8_t *output, uint32_t outputRoom,
                                     uint32_t *consumed);

// The characters of a NUL-terminated `text` before its NUL, but at most `limit`. Reads
// whole aligned blocks, so it may read the bytes of the block holding the first byte
// before `text`, and those after the NUL in the block holding the NUL: an aligned block
// never straddles a page, so those reads cannot fault on any target we build for.
typedef uint32_t (*SpanKernel)(const char *text, uint32_t limit);

// As SpanKernel, and stores in *measured how many of the characters it returns are
// whitespace (TAB LF FF CR space) or '=': MeasureText and the text's length in one pass.
typedef uint32_t (*MeasureKernel)(const char *text, uint32_t limit, uint32_t *measured);

enum KernelId { KERNEL_SCALAR, KERNEL_SSSE3, KERNEL_AVX2, KERNEL_AVX512, KERNEL_COUNT };

// One CPU level's kernels: a column for each job, filled for every level (an entry taken
// from another level says so in the table, dispatch.cpp).
struct Kernel {
    const char *name;
    EncodeKernel encode;
    DecodeKernel decode;
    DecodeTextKernel decodeText;
    // As decodeText, but it also stops before every '-', so that the caller sees each one
    // (armoured text may not have a line that begins with hyphens).
    DecodeTextKernel decodeArmourText;
    SpanKernel span;
    // As span, stopping as well at the first of two hyphens in a row, where an armour line
    // may begin (SpanToHyphenPair): the scan armour lines are looked for behind.
    SpanKernel hyphenSpan;
    MeasureKernel measure;
    // As measure, stopping where hyphenSpan stops: MeasureText and the look for armour
    // lines in one pass.
    MeasureKernel hyphenMeasure;
};

// Each level's kernels, defined in its folder (scalar/, ssse3/, avx2/, avx512/): encode.cpp,
// decode.cpp and scan.cpp. Call a vector level's only after KernelSupported said yes.
uint32_t EncodeBlocksScalar(const uint8_t *input, uint32_t blocks, char *output);
uint32_t DecodeBlocksScalar(const char *text, uint32_t length, uint8_t *output, uint32_t outputRoom,
                            uint32_t *consumed);
uint32_t DecodeTextScalar(const char *text, uint8_t *output, uint32_t outputRoom, uint32_t *consumed);
uint32_t DecodeArmourTextScalar(const char *text, uint8_t *output, uint32_t outputRoom, uint32_t *consumed);
uint32_t TextSpanScalar(const char *text, uint32_t limit);
uint32_t HyphenSpanScalar(const char *text, uint32_t limit);
uint32_t MeasureTextScalar(const char *text, uint32_t limit, uint32_t *measured);
uint32_t HyphenMeasureScalar(const char *text, uint32_t limit, uint32_t *measured);

uint32_t EncodeBlocksSsse3(const uint8_t *input, uint32_t blocks, char *output);
uint32_t DecodeBlocksSsse3(const char *text, uint32_t length, uint8_t *output, uint32_t outputRoom,
                           uint32_t *consumed);
uint32_t DecodeTextSsse3(const char *text, uint8_t *output, uint32_t outputRoom, uint32_t *consumed);
uint32_t DecodeArmourTextSsse3(const char *text, uint8_t *output, uint32_t outputRoom, uint32_t *consumed);
uint32_t TextSpanSse2(const char *text, uint32_t limit);
uint32_t HyphenSpanSse2(const char *text, uint32_t limit);
uint32_t MeasureTextSsse3(const char *text, uint32_t limit, uint32_t *measured);
uint32_t HyphenMeasureSsse3(const char *text, uint32_t limit, uint32_t *measured);

uint32_t EncodeBlocksAvx2(const uint8_t *input, uint32_t blocks, char *output);
uint32_t DecodeBlocksAvx2(const char *text, uint32_t length, uint8_t *output, uint32_t outputRoom,
                          uint32_t *consumed);
uint32_t DecodeTextAvx2(const char *text, uint8_t *output, uint32_t outputRoom, uint32_t *consumed);
uint32_t DecodeArmourTextAvx2(const char *text, uint8_t *output, uint32_t outputRoom, uint32_t *consumed);
uint32_t TextSpanAvx2(const char *text, uint32_t limit);
uint32_t HyphenSpanAvx2(const char *text, uint32_t limit);
uint32_t MeasureTextAvx2(const char *text, uint32_t limit, uint32_t *measured);
uint32_t HyphenMeasureAvx2(const char *text, uint32_t limit, uint32_t *measured);

uint32_t EncodeBlocksAvx512(const uint8_t *input, uint32_t blocks, char *output);
uint32_t DecodeBlocksAvx512(const char *text, uint32_t length, uint8_t *output, uint32_t outputRoom,
                            uint32_t *consumed);
uint32_t DecodeTextAvx512(const char *text, uint8_t *output, uint32_t outputRoom, uint32_t *consumed);
uint32_t DecodeArmourTextAvx512(const char *text, uint8_t *output, uint32_t outputRoom, uint32_t *consumed);
uint32_t TextSpanAvx512(const char *text, uint32_t limit);
uint32_t HyphenSpanAvx512(const char *text, uint32_t limit);
uint32_t MeasureTextAvx512(const char *text, uint32_t limit, uint32_t *measured);
uint32_t HyphenMeasureAvx512(const char *text, uint32_t limit, uint32_t *measured);

// The kernel every conversion uses: chosen on first use from what the CPU and the
// operating system support, published atomically, never changed afterwards except by
// ForceKernel.
const Kernel *ActiveKernel(void);
// 1 when this CPU and operating system can run kernel `id`.
int KernelSupported(int id);
// The kernel table entry for `id` (whether or not this CPU can run it); NULL when unknown.
const Kernel *KernelById(int id);
// For tests and benchmarks only: makes `id` the active kernel. Returns 0 (and changes
// nothing) when this CPU cannot run it.
int ForceKernel(int id);
