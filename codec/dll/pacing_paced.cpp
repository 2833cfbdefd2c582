// codec/dll/pacing_paced.cpp -- test build only: small steps with a sleep after each, so
// a job on 2 MiB lasts about five seconds and can be watched, cancelled or raced.
#include "codec/dll/pacing.h"

#include <stdlib.h>

static const DWORD ENCODE_CHUNK_BYTES = 3 * 4096;
static const DWORD DECODE_CHUNK_CHARS = 16 * 1024;
// 2 MiB / 12 KiB is about 170 steps; 30 ms each makes about five seconds.
static const DWORD DEFAULT_PACE_MS = 30;

// Read once at load: the worker must not call into the CRT while it may be killed.
static DWORD paceMs = DEFAULT_PACE_MS;

void PreparePacing(void)
{
    char value[32];
    DWORD length = GetEnvironmentVariableA("CODRIX_TEST_PACE_MS", value, sizeof(value));
    if (length > 0 && length < sizeof(value)) paceMs = (DWORD)strtoul(value, NULL, 10);
}

DWORD EncodeChunkBytes(void)
{
    return ENCODE_CHUNK_BYTES;
}

DWORD DecodeChunkChars(void)
{
    return DECODE_CHUNK_CHARS;
}

int ContinueAfterChunk(DWORD processed, DWORD total)
{
    (void)processed;
    (void)total;
    Sleep(paceMs);
    return 1;
}
