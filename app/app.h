// app/app.h -- the program's one state record and what every subsystem shares.
#pragma once
#include <windows.h>

#define SPEED_WINDOW_TICKS 15

// Posted by a job's completion routine to the dialog; wParam carries the job's serial.
#define WM_APP_JOB_ENDED (WM_APP + 1)

struct AppState {
    HINSTANCE instance;
    HWND dialog;            // set at WM_INITDIALOG, never cleared

    HANDLE jobHandle;       // INVALID_HANDLE_VALUE when no job runs
    int jobIsEncoding;
    int jobCancelled;
    BYTE *jobInput;         // owned by the job until its completion
    BYTE *jobOutput;        // owned by the job until its completion
    DWORD jobOutputSize;
    DWORD jobSerial;        // tells one job's hand-over from another's
    volatile LONG jobHandOver;  // the job's serial and who ends it (files/jobs.cpp)

    DWORD lastProcessed;
    DWORD speedSamples[SPEED_WINDOW_TICKS];

    // The common dialogs, bound from the system folder at start-up (app/libraries.cpp);
    // all three NULL when that failed.
    BOOL(WINAPI *getOpenFileName)(OPENFILENAMEA *dialog);
    BOOL(WINAPI *getSaveFileName)(OPENFILENAMEA *dialog);
    DWORD(WINAPI *commDlgExtendedError)(void);
};

extern AppState appState;

extern const char APP_CAPTION[];

// Modal error box owned by the dialog: application caption, error icon, OK only.
void ShowError(const char *text);

// Start-up, before anything else. Makes later loads by name (the file dialogs load more)
// search the system folder only where the platform can, else at least leave out the
// current folder; then, from the system folder, loads the common controls and registers
// the progress bar class the dialog template names, and binds the common dialogs into
// appState. Returns 1 when all of that is done. On 0 the dialog may not be created (exit
// code -1), or the file dialogs report that they cannot be shown.
int LoadSystemLibraries(void);

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
