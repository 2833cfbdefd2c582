// codec/core/kernels.h -- the per-CPU inner loops, one signature each, chosen once per
// process. A kernel does the bulk of whole groups and may stop early; the portable code
// around it does the rest, so every kernel agrees on the edges by construction.
#pragma once
#include <stdint.h>

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

enum KernelId { KERNEL_SCALAR, KERNEL_SSSE3, KERNEL_AVX2, KERNEL_AVX512, KERNEL_COUNT };

struct Kernel {
    const char *name;
    EncodeKernel encode;
    DecodeKernel decode;
};

uint32_t EncodeBlocksScalar(const uint8_t *input, uint32_t blocks, char *output);
uint32_t DecodeBlocksScalar(const char *text, uint32_t length, uint8_t *output,
                            uint32_t outputRoom, uint32_t *consumed);

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
