// Picks the kernel once per process from what the CPU and the operating system support,
// and publishes it; racing first callers store the same pointer, so an atomic store is all
// the publication needs.
#include "codec/core/kernels.h"

#include <atomic>
#include <cpuid.h>

// A column for every job; an entry a level takes from another says why.
static const Kernel KERNELS[KERNEL_COUNT] = {
    // name     encode              decode              decodeText        decodeArmourText        span            hyphenSpan        measure            hyphenMeasure
    {"scalar", EncodeBlocksScalar, DecodeBlocksScalar, DecodeTextScalar, DecodeArmourTextScalar, TextSpanScalar, HyphenSpanScalar, MeasureTextScalar, HyphenMeasureScalar},
    {"ssse3",  EncodeBlocksSsse3,  DecodeBlocksSsse3,  DecodeTextSsse3,  DecodeArmourTextSsse3,  TextSpanSse2,   HyphenSpanSse2,   MeasureTextSsse3,  HyphenMeasureSsse3},
    {"avx2",   EncodeBlocksAvx2,   DecodeBlocksAvx2,   DecodeTextAvx2,   DecodeArmourTextAvx2,   TextSpanAvx2,   HyphenSpanAvx2,   MeasureTextAvx2,   HyphenMeasureAvx2},
    {"avx512", EncodeBlocksAvx512, DecodeBlocksAvx512, DecodeTextAvx512, DecodeArmourTextAvx512, TextSpanAvx512, HyphenSpanAvx512, MeasureTextAvx512, HyphenMeasureAvx512},
};

static std::atomic<const Kernel *> activeKernel{nullptr};

// CPUID leaf 1 ECX, leaf 7 EBX and ECX bits, and the XCR0 state components we rely on.
enum {
    CPU_SSSE3 = 1u << 9, CPU_POPCNT = 1u << 23, CPU_OSXSAVE = 1u << 27, CPU_AVX = 1u << 28,
    CPU_AVX2 = 1u << 5, CPU_AVX512F = 1u << 16, CPU_AVX512BW = 1u << 30, CPU_AVX512VL = 1u << 31,
    CPU_AVX512VBMI = 1u << 1, CPU_AVX512VBMI2 = 1u << 6,
    XCR0_YMM = 0x06,        // SSE and upper YMM halves
    XCR0_ZMM = 0xE6,        // those, the opmask registers, upper ZMM halves and ZMM16-31
};

// XCR0 says which register state the operating system saves on a context switch; wider
// registers it does not save would be corrupted by any task switch.
static uint32_t ReadXcr0(void)
{
    uint32_t low = 0, high = 0;
    __asm__ __volatile__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    (void)high;
    return low;
}

// Computed on every call rather than cached: CPUID is cheap next to a conversion, and a
// cache would be mutable global state for no gain.
int KernelSupported(int id)
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    unsigned leaf1 = 0, leaf7b = 0, leaf7c = 0, xcr0 = 0;

    if (id == KERNEL_SCALAR) return 1;
    if (id < 0 || id >= KERNEL_COUNT) return 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return 0;
    leaf1 = ecx;
    if (id == KERNEL_SSSE3) return (leaf1 & CPU_SSSE3) != 0;
    if ((leaf1 & (CPU_OSXSAVE | CPU_AVX | CPU_POPCNT)) != (CPU_OSXSAVE | CPU_AVX | CPU_POPCNT)) return 0;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return 0;
    leaf7b = ebx;
    leaf7c = ecx;
    xcr0 = ReadXcr0();
    if (id == KERNEL_AVX2) return (leaf7b & CPU_AVX2) && (xcr0 & XCR0_YMM) == XCR0_YMM;
    // KERNEL_AVX512, whose row runs AVX2 code as well.
    return (leaf7b & CPU_AVX2) && (leaf7b & (CPU_AVX512F | CPU_AVX512BW | CPU_AVX512VL)) == (CPU_AVX512F | CPU_AVX512BW | CPU_AVX512VL) &&
           (leaf7c & (CPU_AVX512VBMI | CPU_AVX512VBMI2)) == (CPU_AVX512VBMI | CPU_AVX512VBMI2) &&
           (xcr0 & XCR0_ZMM) == XCR0_ZMM;
}

const Kernel *KernelById(int id)
{
    if (id < 0 || id >= KERNEL_COUNT) return 0;
    return &KERNELS[id];
}

static const Kernel *ChooseKernel(void)
{
    for (int id = KERNEL_COUNT - 1; id > KERNEL_SCALAR; --id)
        if (KernelSupported(id)) return &KERNELS[id];
    return &KERNELS[KERNEL_SCALAR];
}

const Kernel *ActiveKernel(void)
{
    const Kernel *kernel = activeKernel.load(std::memory_order_acquire);
    if (!kernel) {
        kernel = ChooseKernel();
        activeKernel.store(kernel, std::memory_order_release);
    }
    return kernel;
}

int ForceKernel(int id)
{
    if (!KernelSupported(id)) return 0;
    activeKernel.store(&KERNELS[id], std::memory_order_release);
    return 1;
}
