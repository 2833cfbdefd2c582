// app/app.h -- the program's one state record and what every subsystem shares.
#pragma once
#include <windows.h>

#include <shellapi.h>

#include "files/progress_calc.h"

// Posted by a job's completion routine to the dialog; wParam carries the job's serial.
#define WM_APP_JOB_ENDED (WM_APP + 1)

// The background job that runs (files/jobs.cpp). It is set whole before the job starts
// and cleared whole, to NO_JOB, when the job is completed; only `handle` is stored on its
// own, from the start's result.
struct RunningJob {
    HANDLE handle;              // INVALID_HANDLE_VALUE when no job runs
    int isEncoding;
    int cancelled;
    BYTE *input;                // owned by the job until its completion
    BYTE *output;               // owned by the job until its completion
    DWORD outputSize;
    DWORD serial;               // tells one job's hand-over from another's
    char suggestedPath[MAX_PATH];   // what its Save dialog offers (files/save_name.h)
};

// No job: the handle INVALID_HANDLE_VALUE, everything else zero.
extern const RunningJob NO_JOB;

struct AppState {
    HINSTANCE instance;
    HWND dialog;                // set at WM_INITDIALOG, never cleared

    RunningJob job;             // NO_JOB from AppEntry on, while no job runs
    DWORD jobsStarted;          // the serial of the last job started
    volatile LONG jobHandOver;  // the job's serial and who ends it (files/jobs.cpp)

    DWORD lastProcessed;
    DWORD speedSamples[SPEED_WINDOW_TICKS];

    // The common dialogs, bound from the system folder at start-up (app/libraries.cpp);
    // all three NULL when that failed.
    BOOL(WINAPI *getOpenFileName)(OPENFILENAMEA *dialog);
    BOOL(WINAPI *getSaveFileName)(OPENFILENAMEA *dialog);
    DWORD(WINAPI *commDlgExtendedError)(void);

    // Dropping files on the dialog, bound the same way; all four NULL when that failed,
    // and then the dialog does not take drops.
    void(WINAPI *dragAcceptFiles)(HWND window, BOOL accept);
    UINT(WINAPI *dragQueryFile)(HDROP drop, UINT index, char *name, UINT size);
    BOOL(WINAPI *dragQueryPoint)(HDROP drop, POINT *point);
    void(WINAPI *dragFinish)(HDROP drop);
};

extern AppState appState;

extern const char APP_CAPTION[];

// Modal error box owned by the dialog: application caption, error icon, OK only.
void ShowError(const char *text);

// Start-up, before anything else. Makes later loads by name (the file dialogs load more)
// search the system folder only where the platform can, else at least leave out the
// current folder; then, from the system folder, loads the common controls and registers
// the progress bar class the dialog template names, and binds the common dialogs and the
// drag-and-drop calls into appState. Returns 1 when all of that is done. On 0 the dialog
// may not be created (exit code -1), the file dialogs report that they cannot be shown,
// or the dialog takes no dropped files.
int LoadSystemLibraries(void);

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
