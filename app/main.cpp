// app/main.cpp -- the process entry point: start-up and shutdown order, and the state
// record every subsystem shares. The dialog's behaviour lives in dialog.cpp.
#include "app/app.h"

#include <commctrl.h>

#include "files/files.h"
#include "res/resource.h"

// jobHandle must start as "no job", which is not zero; the rest starts at zero.
AppState appState = {NULL, NULL, INVALID_HANDLE_VALUE, 0, 0, NULL, NULL, 0, 0, 0, 0, {0}};

const char APP_CAPTION[] = "Quorvel's Base64 Encoder/Decoder 1.0";

void ShowError(const char *text)
{
    MessageBoxA(appState.dialog, text, APP_CAPTION, MB_OK | MB_ICONERROR);
}

// The linker's entry point: no C runtime start-up runs before it, and it never returns.
extern "C" void WINAPI AppEntry(void)
{
    INT_PTR result;
    INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_PROGRESS_CLASS};

    // Set again here because no runtime start-up code runs before this function.
    appState.jobHandle = INVALID_HANDLE_VALUE;
    appState.instance = GetModuleHandleA(NULL);
    // The template names msctls_progress32. Only an explicit registration is certain to
    // have it in place before the dialog is built (a newer common-controls library no
    // longer registers its classes on load).
    InitCommonControlsEx(&classes);
    result = DialogBoxParamA(appState.instance, MAKEINTRESOURCEA(IDD_MAIN), NULL,
                             MainDialogProc, 0);
    // The dialog may have been closed while a background job ran: stop it before exiting,
    // with no window left to report to.
    CancelJob();
    ExitProcess((UINT)result);
}
