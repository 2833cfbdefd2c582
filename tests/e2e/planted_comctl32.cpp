// tests/e2e/planted_comctl32.cpp -- a stranger's COMCTL32.DLL, planted beside a copy of
// the program. Should the loader ever run it, it leaves a marker file beside itself and
// ends the process with its own exit code, so neither can pass for the program's doing.
#include <windows.h>

#define PLANTED_EXIT_CODE 0x504C

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    char path[MAX_PATH + 32];
    char *name = path;
    char *at;
    HANDLE marker;
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    if (GetModuleFileNameA(module, path, MAX_PATH) == 0) path[0] = 0;
    for (at = path; *at; at++)
        if (*at == '\\') name = at + 1;
    lstrcpyA(name, "planted-library-ran.txt");
    marker = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    TerminateProcess(GetCurrentProcess(), PLANTED_EXIT_CODE);
    return FALSE;
}
