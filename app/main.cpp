// app/main.cpp -- the process entry point: start-up and shutdown order. The state record
// lives in app.cpp, the dialog's behaviour in dialog.cpp.
#include "app/app.h"

#include "files/files.h"
#include "res/resource.h"

// The linker's entry point: no C runtime start-up runs before it, and it never returns.
extern "C" void WINAPI AppEntry(void)
{
    INT_PTR result;

    // "No job" is not all zero, and no runtime start-up code runs before this function.
    appState.job = NO_JOB;
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
