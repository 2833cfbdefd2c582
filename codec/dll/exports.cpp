// codec/dll/exports.cpp -- the text operations of Codrix.dll (ordinals 1, 2, 3, 7, 9):
// argument checks, then the portable core. Jobs live in jobs.cpp.
#include "codec/codrix.h"
#include "codec/core/base64.h"
#include "codec/core/wrapper.h"
#include "codec/dll/jobs.h"
#include "codec/dll/pacing.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        // Job workers must get past their start-up quickly; per-thread notices would
        // only add loader work on a thread that may be killed a moment later.
        DisableThreadLibraryCalls(instance);
        PreparePacing();
    } else if (reason == DLL_PROCESS_DETACH && reserved == NULL) {
        ReleaseJobSlots();   // FreeLibrary: at process exit the handles go anyway
    }
    return TRUE;
}

DWORD WINAPI EncodedSize(DWORD length)
{
    return Base64EncodedSize(length);
}

DWORD WINAPI DecodedSize(DWORD length, DWORD measured)
{
    return Base64DecodedSize(length, measured);
}

DWORD WINAPI MeasureText(const char *text)
{
    if (!text) return 0;
    return Base64MeasureText(text);
}

// A NULL pointer with a length of 0 is an empty buffer (an empty container's data
// pointer); the core takes a pointer it never reads or writes in its place.
int WINAPI EncodeBuffer(const BYTE *input, DWORD length, char *output, DWORD outputSize)
{
    DWORD needed = Base64EncodedSize(length);
    BYTE none = 0;
    if (!input && length == 0) input = &none;
    if (!input || !output) return 0;
    if (needed == 0 || outputSize < needed) return 0;   // 0: the text cannot fit in 32 bits
    return Base64Encode(input, length, output, outputSize) ? 1 : 0;
}

int WINAPI DecodeText(const char *text, BYTE *output, DWORD outputSize)
{
    BYTE none = 0;
    if (!output && outputSize == 0) output = &none;
    if (!text || !output) return 0;
    return Base64Decode(text, output, outputSize) ? 1 : 0;
}
