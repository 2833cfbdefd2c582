// files/files.h -- file selection, whole-file transfer, the file commands, background jobs
// and the progress display. Everything here runs on the UI thread unless it says so.
#pragma once
#include <windows.h>

extern const char ANY_FILE_FILTER[];
extern const char ENCODED_FILE_FILTER[];
extern const char ENCODED_FILE_EXTENSION[];

// Shows the Open dialog and reads the chosen file whole into a new zero-filled LocalAlloc
// block of *size + extra bytes. Returns 1 with *buffer owned by the caller (LocalFree it),
// 0 after a cancel or after an error the user has already been shown.
int OpenAndReadFile(BYTE **buffer, DWORD *size, DWORD extra, const char *filter,
                    const char *title, const char *defaultExtension);

// Shows the Save dialog and writes exactly `size` bytes of `buffer` to the chosen file,
// replacing it only once every byte is written. The buffer stays the caller's. Returns 1,
// or 0 after a cancel or an error the user has already been shown.
int SaveAndWriteFile(const BYTE *buffer, DWORD size, const char *filter, const char *title,
                     const char *defaultExtension);

void OnEncodeFile(void);
void OnDecodeFile(void);

// Starts a background job that owns both buffers from this call on.
void BeginEncodeJob(BYTE *input, DWORD length, BYTE *output, DWORD outputSize);
void BeginDecodeJob(BYTE *input, BYTE *output, DWORD outputSize);

// Stops a running job (if any) and completes it silently. Safe after the dialog has ended.
void CancelJob(void);
// The UI-thread end of a job that ended by itself (WM_APP_JOB_ENDED).
void OnJobEnded(DWORD serial, int success);

void SetFileControlsIdle(int idle);
void OnProgressTimer(UINT timerId);
