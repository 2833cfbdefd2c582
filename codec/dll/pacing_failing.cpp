// codec/dll/pacing_failing.cpp -- test build only: every job gives up without success
// once half its input is done, so a caller's failure path can be driven on demand.
// The text operations are untouched.
#include "codec/dll/pacing.h"

// Small steps, so even a short input shows some progress before the job gives up.
static const DWORD ENCODE_CHUNK_BYTES = 3 * 1024;
static const DWORD DECODE_CHUNK_CHARS = 4 * 1024;

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
    Sleep(10);
    return processed < total / 2;
}
