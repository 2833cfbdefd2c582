// app/main.cpp -- the process entry point: start-up and shutdown order, and the state
// record every subsystem shares. The dialog's behaviour lives in dialog.cpp.
#include "app/app.h"

#include "files/files.h"
#include "res/resource.h"

// jobHandle must start as "no job", which is not zero; the rest starts at zero.
AppState appState = {NULL, NULL, INVALID_HANDLE_VALUE, 0, 0, NULL, NULL, 0, 0, 0, 0, {0},
                      NULL, NULL, NULL};

const char APP_CAPTION[] = "Quorvel's Base64 Encoder/Decoder 1.0";

void ShowError(const char *text)
{
    MessageBoxA(appState.dialog, text, APP_CAPTION, MB_OK | MB_ICONERROR);
}

// The linker's entry point: no C runtime start-up runs before it, and it never returns.
extern "C" void WINAPI AppEntry(void)
{
    INT_PTR result;

    // Set again here because no runtime start-up code runs before this function.
    appState.jobHandle = INVALID_HANDLE_VALUE;
    // First of all, so that no library comes from the program's folder after Codrix.dll.
    // What fails here shows later: as the dialog's exit code -1, or as the file dialogs'
    // error.
    LoadSystemLibraries();
    appState.instance = GetModuleHandleA(NULL);
    result = DialogBoxParamA(appState.instance, MAKEINTRESOURCEA(IDD_MAIN), NULL,
                             MainDialogProc, 0);
    // The dialog may have been closed while a background job ran: stop it before exiting,
    // with no window left to report to.
    CancelJob();
    ExitProcess((UINT)result);
}
