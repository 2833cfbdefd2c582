// bench/wholefile.h -- whole-file reads and writes for the file benchmark, done the way
// the program does them on each platform (Win32 calls there, stdio natively).
#pragma once
#include <stdint.h>

// A zero-filled block of `size` bytes (at least 1) the caller frees with FreeBlock; NULL
// when memory is short.
uint8_t *AllocZeroed(uint32_t size);
void FreeBlock(uint8_t *block);

// Reads the file whole into a new zero-filled block of *size + extra bytes (so a text gets
// its NUL). Returns 1 with *data owned by the caller (FreeBlock it), 0 on any failure.
int ReadWholeFile(const char *path, uint8_t **data, uint32_t *size, uint32_t extra);

// Creates or truncates the file and writes `size` bytes in one call. Returns 1 or 0.
int WriteWholeFile(const char *path, const uint8_t *data, uint32_t size);

// Removes a scratch file; missing files are not an error.
void RemoveFile(const char *path);
