// tests/win32/check.h -- the few helpers the Windows test programs share: a CHECK that
// counts failures and says where, a repeatable byte generator, guard bytes, and what a
// process holds (memory, handles).
#pragma once
#include <windows.h>
#include <stdio.h>
#include <string.h>

static int checkFailures = 0;

#define CHECK(condition) CheckThat((condition) != 0, #condition, __FILE__, __LINE__)

static inline int CheckThat(int passed, const char *what, const char *file, int line)
{
    if (!passed) {
        ++checkFailures;
        printf("FAILED %s:%d: %s\n", file, line, what);
        fflush(stdout);
    }
    return passed;
}

// Prints the verdict and gives main its exit code.
static inline int CheckSummary(const char *program)
{
    printf("%s: %s (%d failed checks)\n", program, checkFailures ? "FAILED" : "passed",
           checkFailures);
    return checkFailures ? 1 : 0;
}

// xorshift32: the same bytes on every run and under every runtime.
static inline DWORD NextRandom(DWORD *state)
{
    DWORD x = *state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    *state = x;
    return x;
}

static inline void FillRandom(BYTE *data, DWORD length, DWORD seed)
{
    DWORD state = seed ? seed : 1;
    for (DWORD i = 0; i < length; ++i) data[i] = (BYTE)(NextRandom(&state) >> 11);
}

static const BYTE GUARD_BYTE = 0xCC;
static const DWORD GUARD_BYTES = 16;

// A block of `size` bytes followed by GUARD_BYTES guard bytes, all set to GUARD_BYTE.
static inline BYTE *NewGuarded(DWORD size)
{
    BYTE *block = (BYTE *)LocalAlloc(LMEM_FIXED, size + GUARD_BYTES);
    if (block) memset(block, GUARD_BYTE, size + GUARD_BYTES);
    return block;
}

// 1 when `count` bytes from `at` still all hold GUARD_BYTE.
static inline int Untouched(const BYTE *at, DWORD count)
{
    for (DWORD i = 0; i < count; ++i)
        if (at[i] != GUARD_BYTE) return 0;
    return 1;
}

// Private committed memory (privateOnly) or all address space in use, reserved or
// committed, summed over the address space: GetProcessMemoryInfo reports no private
// usage under Wine.
static inline SIZE_T MemoryInUse(int privateOnly)
{
    MEMORY_BASIC_INFORMATION region;
    SIZE_T sum = 0;
    const BYTE *at = NULL;
    while (VirtualQuery(at, &region, sizeof(region)) == sizeof(region)) {
        if (privateOnly ? region.State == MEM_COMMIT && region.Type == MEM_PRIVATE
                        : region.State != MEM_FREE)
            sum += region.RegionSize;
        at = (const BYTE *)region.BaseAddress + region.RegionSize;
        if (at < (const BYTE *)region.BaseAddress) break;   // wrapped at the top
    }
    return sum;
}

static inline SIZE_T PrivateBytes(void)
{
    return MemoryInUse(1);
}

// The value of a newly opened handle: the system hands out the lowest free slot, so a
// handle left open per job pushes this up. GetProcessHandleCount gives 0 under Wine.
static inline DWORD HandleCount(void)
{
    DWORD count = 0;
    HANDLE probe = CreateEventA(NULL, TRUE, FALSE, NULL);
    GetProcessHandleCount(GetCurrentProcess(), &count);
    if (probe) CloseHandle(probe);
    return count ? count : (DWORD)(UINT_PTR)probe / 4;
}
