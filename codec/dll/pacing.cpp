// codec/dll/pacing.cpp -- the shipped job pace: large steps, no pause, never gives up.
#include "codec/dll/pacing.h"

// Big enough that publishing progress costs nothing measurable, small enough that a
// 500 ms progress timer sees many steps on a file of a few MiB.
static const DWORD ENCODE_CHUNK_BYTES = 3 * 64 * 1024;
static const DWORD DECODE_CHUNK_CHARS = 256 * 1024;

void PreparePacing(void)
{
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
    return 1;
}
