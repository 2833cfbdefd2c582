// codec/codrix.h -- the interface of Codrix.dll, the only header the program includes to
// reach the codec. The program links to it at load time through the import library,
// which binds every operation by ordinal (the DLL exports no names).
#pragma once
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// Called once when a job ends by itself, on the job's worker thread: success is non-zero
// only when the output is complete. userValue is the last argument given to the start.
typedef void(WINAPI *CodrixCompletion)(HANDLE job, int success, DWORD userValue);

// @1: encoded length of `length` bytes plus 1 for the NUL; 0 when it does not fit in 32 bits.
DWORD WINAPI EncodedSize(DWORD length);
// @2: exact decoded length of a decodable text of `length` characters, of which
// `measured` (from MeasureText) carry no data.
DWORD WINAPI DecodedSize(DWORD length, DWORD measured);
// @3: the characters of a NUL-terminated text that carry no data (whitespace, '=').
DWORD WINAPI MeasureText(const char *text);
// @7: encodes into a NUL-terminated text; outputSize must be at least EncodedSize(length).
// Non-zero on success; never writes past outputSize. input may be NULL when length is 0.
int WINAPI EncodeBuffer(const BYTE *input, DWORD length, char *output, DWORD outputSize);
// @9: decodes a NUL-terminated text; non-zero only when it decodes to exactly outputSize
// bytes. Never writes past outputSize. output may be NULL when outputSize is 0.
// Any other NULL pointer, here and in every operation below, is a clean failure (0, or
// INVALID_HANDLE_VALUE for a start) that writes nothing.
int WINAPI DecodeText(const char *text, BYTE *output, DWORD outputSize);
// @11, @13: start a background job converting as ordinals 7 and 9 would, with the same
// NULL rules. The returned thread handle belongs to the caller, who closes it and may
// TerminateThread it at any instant to cancel the job; the start returns only once the
// job's thread runs the job. INVALID_HANDLE_VALUE when no job starts. The buffers must
// stay valid until the completion routine has run or the thread has been stopped and
// waited for.
// The job is over when its completion routine has run. Its thread then parks rather
// than run its own exit (where a kill could leave a system lock held), and a later start
// hands it the next job under a new handle: a job that ends by itself costs no thread.
// So the handle of a finished job is not signalled, and after the completion it is only
// good for closing, and for a kill until another start begins; once another start has
// begun it may name the thread of that newer job, and a kill through it may end that job
// without its completion. Only the handle the start returned identifies the job to the
// queries, not a duplicate of it.
// Each cancel kills a thread. Under Wine every killed thread keeps about 2 MB of address
// space for the rest of the process: a 32-bit large-address-aware process can take some
// 1,900 cancels (half that without the flag), fewer the more memory it holds itself;
// beyond that starts fail, and so do the process's own thread starts and large
// allocations. A program that cancels many jobs should be restarted now and then there.
HANDLE WINAPI StartEncodeJob(const BYTE *input, DWORD length, char *output, DWORD outputSize,
                             CodrixCompletion completion, DWORD userValue);
HANDLE WINAPI StartDecodeJob(const char *text, BYTE *output, DWORD outputSize,
                             CodrixCompletion completion, DWORD userValue);
// @15, @16: processed and total of a job (input bytes for encoding, text characters for
// decoding), also after its end until another start takes its thread. Non-zero when both were
// stored; 0 for a handle that is not a job of that kind the library knows, and for the
// handle of a job whose thread another start has taken.
int WINAPI QueryEncodeProgress(HANDLE job, DWORD *processed, DWORD *total);
int WINAPI QueryDecodeProgress(HANDLE job, DWORD *processed, DWORD *total);

#ifdef __cplusplus
}
#endif
