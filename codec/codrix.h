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
// Non-zero on success; never writes past outputSize.
int WINAPI EncodeBuffer(const BYTE *input, DWORD length, char *output, DWORD outputSize);
// @9: decodes a NUL-terminated text; non-zero only when it decodes to exactly outputSize
// bytes. Never writes past outputSize.
int WINAPI DecodeText(const char *text, BYTE *output, DWORD outputSize);
// @11, @13: start a background job converting as ordinals 7 and 9 would. The returned
// thread handle belongs to the caller, who closes it and may TerminateThread it at any
// instant. INVALID_HANDLE_VALUE when no job starts. The buffers must stay valid until
// the completion routine has run or the thread has been stopped and waited for.
// The job is over when its completion routine has run: the thread then parks rather
// than run its own exit (where a kill could leave a system lock held), and the next
// start ends it, so the handle is signalled only then, or after a TerminateThread.
HANDLE WINAPI StartEncodeJob(const BYTE *input, DWORD length, char *output, DWORD outputSize,
                             CodrixCompletion completion, DWORD userValue);
HANDLE WINAPI StartDecodeJob(const char *text, BYTE *output, DWORD outputSize,
                             CodrixCompletion completion, DWORD userValue);
// @15, @16: processed and total of a running job (input bytes for encoding, text
// characters for decoding). Non-zero when both were stored; 0 for a handle that is not
// a job of that kind the library knows.
int WINAPI QueryEncodeProgress(HANDLE job, DWORD *processed, DWORD *total);
int WINAPI QueryDecodeProgress(HANDLE job, DWORD *processed, DWORD *total);

#ifdef __cplusplus
}
#endif
