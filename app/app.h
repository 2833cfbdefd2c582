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
};

extern AppState appState;

extern const char APP_CAPTION[];

// Modal error box owned by the dialog: application caption, error icon, OK only.
void ShowError(const char *text);

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
