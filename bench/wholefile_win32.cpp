// bench/wholefile_win32.cpp -- the program's own whole-file calls: CreateFileA, one
// ReadFile or WriteFile, and zero-filled LocalAlloc blocks.
#include "bench/wholefile.h"

#include <windows.h>

uint8_t *AllocZeroed(uint32_t size)
{
    return (uint8_t *)LocalAlloc(LMEM_ZEROINIT, size ? size : 1);
}

void FreeBlock(uint8_t *block)
{
    if (block) LocalFree(block);
}

int ReadWholeFile(const char *path, uint8_t **data, uint32_t *size, uint32_t extra)
{
    HANDLE file = INVALID_HANDLE_VALUE;
    uint8_t *buffer = NULL;
    DWORD high = 0, low = 0, got = 0;
    int ok = 0;

    file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) goto done;
    low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) goto done;
    if (high != 0 || low > 0xFFFFFFFFu - extra) goto done;
    buffer = AllocZeroed(low + extra);
    if (!buffer) goto done;
    if (!ReadFile(file, buffer, low, &got, NULL) || got != low) goto done;

    *data = buffer;                            // the caller owns it from here
    *size = low;
    buffer = NULL;
    ok = 1;
done:
    FreeBlock(buffer);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return ok;
}

int WriteWholeFile(const char *path, const uint8_t *data, uint32_t size)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD put = 0;
    int ok = 0;

    if (file == INVALID_HANDLE_VALUE) return 0;
    ok = WriteFile(file, data, size, &put, NULL) && put == size;
    if (!CloseHandle(file)) ok = 0;
    return ok;
}

void RemoveFile(const char *path)
{
    DeleteFileA(path);
}
