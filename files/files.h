// files/files.h -- file selection, whole-file transfer, the file commands, background jobs
// and the progress display. Everything here runs on the UI thread unless it says so.
#pragma once
#include <windows.h>

// Filters in the common dialogs' form: NUL-separated pairs, ending in a second NUL.
extern const char ANY_FILE_FILTER[];
extern const char ENCODED_FILE_FILTER[];
extern const char ENCODED_FILE_EXTENSION[];  // "QVB", no dot

#define TIMER_ENCODE_JOB 1
#define TIMER_DECODE_JOB 2
#define TIMER_PERIOD_MS 500

// Shows the Open dialog and reads the chosen file whole into a new zero-filled LocalAlloc
// block of *size + extra bytes. Returns 1 with *buffer owned by the caller (LocalFree it),
// 0 after a cancel or after an error the user has already been shown. *size receives the
// file's length whenever the file was opened. A file of 4 GiB or more, or one whose block
// cannot be allocated, is refused as "Error: Could not access file!": it cannot be read whole.
int OpenAndReadFile(BYTE **buffer, DWORD *size, DWORD extra, const char *filter,
                    const char *title, const char *defaultExtension);

// Shows the Save dialog and writes exactly `size` bytes of `buffer` to the chosen file.
// The bytes go to a temporary file in the same folder, which replaces the destination
// (keeping its attributes) only once every byte is written; on any failure the temporary
// file is removed and an existing destination is left as it was. The buffer stays the
// caller's. Returns 1, or 0 after a cancel or an error the user has already been shown.
int SaveAndWriteFile(const BYTE *buffer, DWORD size, const char *filter, const char *title,
                     const char *defaultExtension);

// The Encode File and Decode File buttons. Each converts in the foreground or, with the
// check box checked, starts a background job. A buffer that cannot be allocated ends the
// command with its own error and nothing held.
void OnEncodeFile(void);
void OnDecodeFile(void);

// Start a background job that owns both LocalAlloc buffers from this call on, in every
// case: they are freed when the job is completed, or here when it cannot start. The caller
// has shown the wait cursor. Encoding form, then decoding form (input is the NUL-ended text).
void BeginBackgroundJob(BYTE *input, DWORD length, BYTE *output, DWORD outputSize);
void BeginBackgroundJob(BYTE *input, BYTE *output, DWORD outputSize);

// The completion routine given to the library. Runs on the job's worker thread and only
// posts WM_APP_JOB_ENDED (wParam the job's serial, lParam 1 on success) to the dialog.
void WINAPI JobCompletion(HANDLE job, int success, DWORD userValue);

// The UI-thread end of a job that ended by itself (WM_APP_JOB_ENDED). A hand-over whose
// serial is not the running job's (the job was already cancelled) is ignored.
void OnJobEnded(DWORD serial, int success);

// Stops a running job (if any), waits until its thread is gone and completes it silently.
// Safe after the dialog has ended: then only the handle and buffers are released.
void CancelJob(void);

// Idle: file buttons and check box enabled, Cancel disabled; busy: the reverse.
void SetFileControlsIdle(int idle);

// WM_TIMER of a running job (TIMER_ENCODE_JOB or TIMER_DECODE_JOB): progress bar and
// status line.
void OnProgressTimer(UINT timerId);
