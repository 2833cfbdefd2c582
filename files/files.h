// files/files.h -- file selection, whole-file transfer, the file commands, dropped files,
// background jobs and the progress display. Everything here runs on the UI thread unless
// it says so.
#pragma once
#include <windows.h>

#include <shellapi.h>

// Filters in the common dialogs' form: NUL-separated pairs, ending in a second NUL.
extern const char ANY_FILE_FILTER[];
extern const char ENCODED_FILE_FILTER[];
extern const char ENCODED_FILE_EXTENSION[];  // "QVB", no dot

// What a file that cannot be opened, read or written shows.
extern const char ACCESS_ERROR[];

#define TIMER_ENCODE_JOB 1
#define TIMER_DECODE_JOB 2
#define TIMER_PERIOD_MS 500

// Shows the Open dialog. Returns 1 with the chosen path in `path` (MAX_PATH bytes), 0
// after a cancel or after an error the user has already been shown.
int ChooseFileToOpen(char *path, const char *filter, const char *title,
                     const char *defaultExtension);

// Reads the file at `path` whole into a new zero-filled LocalAlloc block of *size + extra
// bytes. Returns 1 with *buffer owned by the caller (LocalFree it), 0 after an error the
// user has already been shown. *size receives the file's length whenever the file was
// opened. A file of 4 GiB or more, or one whose block cannot be allocated, is refused as
// "Error: Could not access file!": it cannot be read whole.
int ReadWholeFile(const char *path, BYTE **buffer, DWORD *size, DWORD extra);

// Shows the Save dialog and writes exactly `size` bytes of `buffer` to the chosen file.
// `suggestedPath` (NULL or "" for none) is what files/save_name.h makes: the dialog opens
// in its folder with its name, if it has one, in the name box; the user may change both.
// The bytes go to a temporary file in the same folder, which replaces the destination
// (keeping its attributes) only once every byte is written; on any failure the temporary
// file is removed and an existing destination is left as it was. The buffer stays the
// caller's. Returns 1, or 0 after a cancel or an error the user has already been shown.
int SaveAndWriteFile(const BYTE *buffer, DWORD size, const char *filter, const char *title,
                     const char *defaultExtension, const char *suggestedPath);

// The Encode File and Decode File buttons. Each converts in the foreground or, with the
// check box checked, starts a background job. A buffer that cannot be allocated ends the
// command with its own error and nothing held.
void OnEncodeFile(void);
void OnDecodeFile(void);

// What the buttons do once their Open dialog has given `path`; a dropped file starts here.
void EncodeFile(const char *path);
void DecodeFile(const char *path);

// 0 while a job runs or is being completed: no file command may start then.
int FileCommandsAllowed(void);

// Offers a conversion's result for saving as both commands and jobs do: the encoded text
// without its terminating NUL under the encoded-file filter, or the decoded bytes under
// the any-file filter, the dialog opened on `suggestedPath`. A failed save has been
// reported, and the buffer stays the caller's.
void SaveConversion(int encoding, const BYTE *output, DWORD outputSize,
                    const char *suggestedPath);
// "Error: Could not encode file!" or "Error: Could not decode file!".
void ShowConversionError(int encoding);

// WM_DROPFILES: one file dropped on the plain text box, its label or Encode File is
// encoded, on the Base64 box, its label or Decode File decoded, as by the buttons after
// their Open dialog. Any other drop converts nothing and says why. Releases `drop`.
void OnDropFiles(HDROP drop);
// From WM_INITDIALOG: the dialog takes dropped files, when start-up could bind the calls.
void AcceptDroppedFiles(void);

// Start a background job that owns both LocalAlloc buffers from this call on, in every
// case: they are freed when the job is completed, or here when it cannot start. The caller
// has shown the wait cursor. `suggestedPath` (copied) is what its Save dialog will offer.
void BeginEncodeJob(BYTE *input, DWORD length, BYTE *output, DWORD outputSize,
                    const char *suggestedPath);
// The same for decoding; input is the NUL-ended text.
void BeginDecodeJob(BYTE *input, BYTE *output, DWORD outputSize, const char *suggestedPath);

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
