// bench/wholefile_stdio.cpp -- whole-file calls for the native build: stdio and calloc,
// the nearest plain equivalents of the program's Win32 calls.
#include "bench/wholefile.h"

#include <stdio.h>
#include <stdlib.h>

uint8_t *AllocZeroed(uint32_t size)
{
    return (uint8_t *)calloc(size ? size : 1, 1);
}

void FreeBlock(uint8_t *block)
{
    free(block);
}

int ReadWholeFile(const char *path, uint8_t **data, uint32_t *size, uint32_t extra)
{
    FILE *file = NULL;
    uint8_t *buffer = NULL;
    long length = 0;
    int ok = 0;

    file = fopen(path, "rb");
    if (!file) goto done;
    if (fseek(file, 0, SEEK_END) != 0 || (length = ftell(file)) < 0) goto done;
    if ((unsigned long)length > 0xFFFFFFFFul - extra || fseek(file, 0, SEEK_SET) != 0) goto done;
    buffer = AllocZeroed((uint32_t)length + extra);
    if (!buffer) goto done;
    if (fread(buffer, 1, (size_t)length, file) != (size_t)length) goto done;

    *data = buffer;                            // the caller owns it from here
    *size = (uint32_t)length;
    buffer = NULL;
    ok = 1;
done:
    FreeBlock(buffer);
    if (file) fclose(file);
    return ok;
}

int WriteWholeFile(const char *path, const uint8_t *data, uint32_t size)
{
    FILE *file = fopen(path, "wb");
    int ok = 0;

    if (!file) return 0;
    ok = fwrite(data, 1, size, file) == size;
    if (fclose(file) != 0) ok = 0;
    return ok;
}

void RemoveFile(const char *path)
{
    remove(path);
}
