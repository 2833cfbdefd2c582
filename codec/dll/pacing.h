// codec/dll/pacing.h -- how a job worker cuts its work and when it stops. The shipped
// library links pacing.cpp; the test builds swap in a slower or a failing variant.
#pragma once
#include <windows.h>

// Called once from DllMain on process attach, before any job can start.
void PreparePacing(void);

// Input bytes one encoding step converts; a multiple of 3, so the pieces join into the
// same text as one call.
DWORD EncodeChunkBytes(void);
// Text characters one decoding step feeds.
DWORD DecodeChunkChars(void);

// Runs on the worker between steps, after processed was published. Returns 0 to end the
// job without success. It may be stopped at any instant, so it takes no lock and
// allocates nothing.
int ContinueAfterChunk(DWORD processed, DWORD total);
