// tests/e2e/ui/ui.h -- drives the real program from another process as a user would:
// starts it, finds its windows, types, pastes, clicks, answers dialogs, and checks results.
#pragma once
#include <windows.h>
#include <commctrl.h>

// Generous: a fresh Wine prefix and Wine's slow edit control both take seconds.
#define UI_TIMEOUT_MS 30000

// ---- Checks -------------------------------------------------------------------------
// A failed check prints file:line and what was expected, and makes UiFinish return 1.
// REQUIRE also ends the test at once (after ending any program it started), for failures
// that make every later check meaningless.
int UiCheck(int ok, const char *what, const char *file, int line);
int UiCheckInt(long long actual, long long expected, const char *what, const char *file,
               int line);
int UiCheckText(const char *actual, const char *expected, const char *what, const char *file,
                int line);
void UiFatal(const char *what, const char *file, int line);
// Prints the count of checks and failures; the test's exit code.
int UiFinish(void);

#define CHECK(cond) UiCheck((cond) ? 1 : 0, #cond, __FILE__, __LINE__)
#define CHECK_INT(actual, expected) \
    UiCheckInt((long long)(actual), (long long)(expected), #actual, __FILE__, __LINE__)
#define CHECK_TEXT(actual, expected) UiCheckText((actual), (expected), #actual, __FILE__, __LINE__)
#define REQUIRE(cond) \
    do { if (!(cond)) UiFatal(#cond, __FILE__, __LINE__); } while (0)

// ---- The program under test ---------------------------------------------------------
struct UiProgram {
    PROCESS_INFORMATION process;   // both handles closed by UiEndProgram
    HWND dialog;                   // the main dialog, once found
};

// Turns a Unix path (/work/x) into the Windows one Wine maps it to (Z:\work\x); other
// paths are copied with '/' turned into '\'. `out` holds `size` bytes.
void UiWindowsPath(const char *path, char *out, DWORD size);
// Starts the program at `path` (Unix or Windows form). Returns 1 with `program` filled.
int UiStartProgram(const char *path, UiProgram *program);
// Starts the program and waits for its dialog with `caption`; REQUIREs both.
void UiLaunch(const char *path, const char *caption, UiProgram *program);
// Waits for the process to end; returns 1 with its exit code, 0 on time-out.
int UiWaitForExit(UiProgram *program, DWORD timeoutMs, DWORD *exitCode);
// Ends the program if it still runs and closes its handles. Safe to call twice.
void UiEndProgram(UiProgram *program);

// ---- Finding windows ----------------------------------------------------------------
// A visible top-level dialog (class #32770) of process `pid` with exactly this caption,
// other than `except`; NULL when there is none.
HWND UiFindDialog(DWORD pid, const char *caption, HWND except);
HWND UiWaitForDialog(DWORD pid, const char *caption, HWND except, DWORD timeoutMs);
// Any visible top-level window of `pid` other than `expected` (a message box, a file
// dialog); NULL when there is none. For "nothing else appeared" checks.
HWND UiFindOtherWindow(DWORD pid, HWND expected);
// Waits (up to timeoutMs) for some visible top-level window of `pid` other than `except`.
HWND UiWaitForOtherWindow(DWORD pid, HWND except, DWORD timeoutMs);
// Waits until `window` is gone; 1 when it went.
int UiWaitForWindowGone(HWND window, DWORD timeoutMs);

// ---- Reading controls ---------------------------------------------------------------
// The window's whole text in a new malloc block (free it); never NULL.
char *UiGetText(HWND window);
// 1 when the window's text equals `expected` within the time-out.
int UiWaitForText(HWND window, const char *expected, DWORD timeoutMs);
void UiGetClass(HWND window, char *out, int size);
int UiIsEnabled(HWND window);
int UiIsChecked(HWND button);
int UiProgressPos(HWND progress);
LONG UiStyle(HWND window);
// The control's rectangle in the dialog's client coordinates, in pixels.
RECT UiControlRect(HWND dialog, HWND control);
// Dialog units to pixels for this dialog (MapDialogRect done from outside).
RECT UiDialogUnitsToPixels(HWND dialog, int x, int y, int cx, int cy);
// A font as the dialog manager makes it for the main dialog's template (8-point
// "MS Sans Serif" on this screen); the dialog's own font cannot be used from another
// process. DeleteObject it.
HFONT UiCreateDialogFont(void);

// ---- Acting as the user -------------------------------------------------------------
// Types `text` at the box's caret, one posted WM_CHAR per character ('\n' is Enter, '\b'
// Backspace), then waits until the box shows what the typing must produce. Since the
// program converts inside the same message, the other box has settled by then.
// Returns 1 when the box reached that text in time.
int UiType(HWND box, const char *text);
// Puts `text` on the clipboard as CF_TEXT and pastes it into the box (WM_PASTE, which
// returns only after the program has handled the change). Returns 1 when it was pasted.
int UiPaste(HWND box, const char *text);
// Selects the whole box and deletes it with Backspace, as a user would; 1 when empty.
int UiClearBox(HWND box);
// Moves the caret / selection (EM_SETSEL; end -1 means to the end of the text).
void UiSelect(HWND box, int start, int end);
// Posts a click (BM_CLICK). Note that a posted click acts even on a disabled button.
void UiClick(HWND button);
// Posts a key press (WM_KEYDOWN + WM_KEYUP) to a control, as if it had the focus.
void UiPressKey(HWND control, UINT virtualKey);
// Alt+F4 on the dialog; the close button (WM_SYSCOMMAND SC_CLOSE); Esc in a text box.
void UiAltF4(HWND window);
void UiCloseButton(HWND dialog);
// Posts a command as a button with this id would send it (IDOK, IDYES, IDNO, IDCANCEL).
void UiPressButton(HWND dialog, int id);
// Drops `count` files (Unix or Windows paths) on `window` at `point`, in its client
// coordinates, as a file manager would: through the X display, by the dropper that
// tests/e2e/ui/xdnd_dropper.py runs beside the test (QUORVEL_DROP_FOLDER names the folder
// the two talk through; without it the test cannot go on). Returns 1 once the window has
// taken the drop, which reaches the program as a posted WM_DROPFILES.
int UiDropFiles(HWND window, POINT point, const char *const *paths, int count);
// The centre of `control` in the client coordinates of `dialog`.
POINT UiControlCentre(HWND dialog, HWND control);

// ---- Message boxes --------------------------------------------------------------------
struct UiMessageBox {
    HWND window;
    char caption[256];
    char text[1024];
    int buttonCount;         // push buttons shown
    int buttonIds[4];
    char icon;               // 'E' red error, 'W' yellow warning, 'I' blue, 0 none seen
};
// Waits for a message box (a #32770 with the static text id 0xFFFF) of `pid` and reads it.
int UiWaitForMessageBox(DWORD pid, DWORD timeoutMs, UiMessageBox *box);
// Presses OK (posts IDOK) and waits until the box has gone.
int UiPressOk(UiMessageBox *box);

// ---- Open and Save dialogs ----------------------------------------------------------
#define UI_FILE_NAME_ID 0x47C    // the file name field (a ComboBoxEx32 under Wine)
#define UI_FILE_TYPE_ID 0x470    // the file type combo box
// Waits for the Open or Save dialog of `pid` with this title.
HWND UiWaitForFileDialog(DWORD pid, const char *title, DWORD timeoutMs);
// Index of the selected file type, and its text into `out`.
int UiFileType(HWND fileDialog, char *out, int size);
// Selects file type `index` and tells the dialog, as choosing it with the mouse would.
void UiSetFileType(HWND fileDialog, int index);
// Types a file name (Unix or Windows path) and presses the dialog's OK button.
void UiChooseFile(HWND fileDialog, const char *path);
// The name box's text, as the user sees it, into `out`.
void UiFileName(HWND fileDialog, char *out, int size);
// Cancels the dialog and waits for it to go.
int UiCancelFileDialog(HWND fileDialog);
// Answers the overwrite prompt that follows a Save of an existing file: IDYES or IDNO.
int UiAnswerOverwrite(DWORD pid, HWND fileDialog, int answer);

// ---- Waiting and files ----------------------------------------------------------------
void UiSleep(DWORD ms);
// Whole files; UiReadFile returns a malloc block (free it) with a NUL after the data.
int UiWriteFile(const char *path, const void *data, DWORD size);
int UiReadFile(const char *path, char **data, DWORD *size);
// A new empty folder under the system temporary folder, for a test's files.
void UiTempDir(const char *name, char *out, DWORD size);
