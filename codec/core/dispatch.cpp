// Picks the kernel once per process and publishes it; racing first callers store the
// same pointer, so a relaxed atomic store is all the publication needs.
#include "codec/core/kernels.h"

#include <atomic>

static const Kernel KERNELS[KERNEL_COUNT] = {
    {"scalar", EncodeBlocksScalar, DecodeBlocksScalar},
    {"ssse3", 0, 0},
    {"avx2", 0, 0},
    {"avx512", 0, 0},
};

static std::atomic<const Kernel *> activeKernel{nullptr};

int KernelSupported(int id)
{
    return id == KERNEL_SCALAR;
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
