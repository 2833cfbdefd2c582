// tests/e2e/files_steps.h -- the steps the file-conversion tests share: a running program
// with its controls found, a file command through its Open and Save dialogs, the idle
// state and the error boxes; the expected bytes come from tests/reference_codec.h.
#pragma once
#include <windows.h>

#include <string>

#include "main_dialog.h"
#include "tests/reference_codec.h"
#include "ui/ui.h"
#define ENCODE_OPEN_TITLE "Select File To Be Encoded..."
#define ENCODE_SAVE_TITLE "Save Encoded File As..."
#define DECODE_OPEN_TITLE "Select File To Be Decoded..."
#define DECODE_SAVE_TITLE "Save Decoded File As..."
#define ENCODED_FILTER_NAME "Quorvel's Base64 Files (*.QVB)"
#define ANY_FILTER_NAME "All Files (*.*)"
// What a refused drop shows.
#define DROP_BUSY_ERROR "Error: Another file is being converted!"
#define DROP_ELSEWHERE_ERROR "Error: Drop the file on a text box or a file button!"
#define DROP_SEVERAL_ERROR "Error: Drop one file at a time!"
#define DROP_FOLDER_ERROR "Error: A folder cannot be converted!"

struct Session {
    UiProgram program;
    DWORD pid;
    HWND dialog, plain, base64, encode, decode, async, progress, status, cancel;
    HWND plainLabel, base64Label;   // no ids of their own: the controls before the boxes
};

// Starts the program at `exe` and finds its controls; REQUIREs it all.
void StartSession(const char *exe, Session *s);
// Clicks the check box until it shows `checked`.
void SetAsync(Session *s, int checked);
// Returns once the program's UI thread has handled everything sent before: a handler that
// was running has returned or is showing a modal window.
void Settle(Session *s);
// 1 when the file controls are idle, the progress bar at 0, the status line empty and no
// other window is shown, within the time-out.
int WaitForIdle(Session *s, DWORD timeoutMs);
// 1 when the file buttons and the check box are disabled and Cancel enabled.
int ControlsBusy(Session *s);
// Waits until ControlsBusy holds (the job has started after its Open dialog went).
int WaitForBusy(Session *s, DWORD timeoutMs);
// Clicks `button` and answers the Open dialog titled `title` with `input` (NULL cancels).
// Returns 1 when the dialog appeared and went.
int OpenThrough(Session *s, HWND button, const char *title, const char *input);
// Index of the file dialog's selected file type, with its text into `out`.
int SelectedFileType(HWND fileDialog, char *out, int size);
// Waits for the Save dialog titled `title` and answers it with `output` (NULL cancels).
// `filterName` (when not NULL) is the file type it must show preselected. 1 on success.
int SaveThrough(Session *s, const char *title, const char *output, const char *filterName);
// Drops the files (Unix or Windows paths) on the centre of `control`, as from a file
// manager; 1 once the dialog has taken the drop.
int DropOn(Session *s, HWND control, const char *const *paths, int count);
// Waits for the Save dialog titled `title`, checks that its name box offers `name`, and
// takes the suggestion as it stands (OK). 1 when the dialog appeared, offered it and went.
int AcceptSuggestion(Session *s, const char *title, const char *name);
// Waits for an error box, checks its caption, icon, single button and text, presses OK.
int ExpectError(Session *s, const char *text);
// 1 when no window other than the dialog appears within `ms`.
int NothingAppears(Session *s, DWORD ms);

// Whole-file helpers on Unix or Windows paths.
int FileExists(const char *path);
std::string ReadAll(const char *path);
// Files in `folder` (Unix or Windows path), "." and ".." not counted.
int CountFiles(const char *folder);
// A test's folder under the temporary folder, emptied of an earlier run's files and
// folders.
void MakeTestFolder(const char *name, char *out, DWORD size);
std::string JoinPath(const char *folder, const char *name);
