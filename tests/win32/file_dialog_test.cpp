// tests/win32/file_dialog_test.cpp -- the file dialogs as the file-transfer code sets them
// up, and the branch for a dialog that fails with an extended error, which a real dialog
// cannot be made to do on demand. This program links files/transfer.cpp with its own
// stand-ins for the three comdlg32 entry points (bound into appState, as start-up binds
// the real ones) and for the program's error box.
#include "app/app.h"
#include "files/files.h"
#include "tests/win32/check.h"

#include <commdlg.h>

// No job is involved: the record may stay all zero.
AppState appState;

static char lastError[100];
static int errorsShown = 0;

void ShowError(const char *text)
{
    lstrcpynA(lastError, text, sizeof(lastError));
    ++errorsShown;
}

static OPENFILENAMEA seen;      // the record the last dialog was given
static char seenTitle[100];
static char seenName[MAX_PATH];     // the name buffer as the dialog got it
static char seenFolder[MAX_PATH];   // its initial folder, "" for none
static DWORD extendedError = 0; // what the failed dialog reports
static int dialogCalls = 0;

static BOOL WINAPI FakeDialog(LPOPENFILENAMEA dialog)
{
    ++dialogCalls;
    seen = *dialog;
    lstrcpynA(seenTitle, dialog->lpstrTitle ? dialog->lpstrTitle : "", sizeof(seenTitle));
    lstrcpynA(seenName, dialog->lpstrFile, sizeof(seenName));
    lstrcpynA(seenFolder, dialog->lpstrInitialDir ? dialog->lpstrInitialDir : "",
              sizeof(seenFolder));
    return FALSE;
}

static DWORD WINAPI FakeExtendedError(void)
{
    return extendedError;
}

static const BYTE DATA[3] = {1, 2, 3};

// One dialog run that fails with `error`; 1 when the call returned 0 having shown
// `expected` (or nothing, for NULL).
static int RunFailingDialog(int saving, DWORD error, const char *expected,
                            const char *suggestion = NULL)
{
    char path[MAX_PATH];
    int result;

    extendedError = error;
    errorsShown = 0;
    lastError[0] = '\0';
    lstrcpyA(path, "left from before");
    result = saving ? SaveAndWriteFile(DATA, sizeof(DATA), ENCODED_FILE_FILTER,
                                       "Save Encoded File As...", ENCODED_FILE_EXTENSION,
                                       suggestion)
                    : ChooseFileToOpen(path, ENCODED_FILE_FILTER,
                                       "Select File To Be Decoded...", ENCODED_FILE_EXTENSION);
    if (!saving) CHECK(path[0] == '\0');
    if (!expected) return result == 0 && errorsShown == 0;
    return result == 0 && errorsShown == 1 && lstrcmpA(lastError, expected) == 0;
}

int main(void)
{
    static const char FILTER[] = "Quorvel's Base64 Files (*.QVB)\0*.QVB\0All Files (*.*)\0*.*\0";

    appState.dialog = (HWND)(UINT_PTR)0x1234;
    appState.instance = GetModuleHandleA(NULL);

    // Common dialogs that start-up could not bind: no dialog, and the user is told.
    CHECK(RunFailingDialog(0, 0, "Error: Could not display dialog!"));
    CHECK(RunFailingDialog(1, 0, "Error: Could not display dialog!"));
    CHECK(dialogCalls == 0);
    appState.getOpenFileName = FakeDialog;
    appState.getSaveFileName = FakeDialog;
    appState.commDlgExtendedError = FakeExtendedError;

    // A dialog that fails says so; a cancel (no extended error) is silent. CDERR_DIALOGFAILURE
    // and FNERR_BUFFERTOOSMALL (a chosen path longer than the name buffer) alike.
    CHECK(RunFailingDialog(0, CDERR_DIALOGFAILURE, "Error: Could not display dialog!"));
    CHECK(RunFailingDialog(0, FNERR_BUFFERTOOSMALL, "Error: Could not display dialog!"));
    CHECK(RunFailingDialog(0, 0, NULL));
    CHECK(RunFailingDialog(1, CDERR_DIALOGFAILURE, "Error: Could not display dialog!"));
    CHECK(RunFailingDialog(1, 0, NULL));
    CHECK(dialogCalls == 5);

    // The record of the last (save) dialog: the version-4 layout, owner and instance, the
    // encoded-file filter with its first pair preselected, a 260-byte empty name buffer.
    CHECK(seen.lStructSize == OPENFILENAME_SIZE_VERSION_400A);
#ifndef _WIN64
    CHECK(seen.lStructSize == 76);
#endif
    CHECK(seen.hwndOwner == appState.dialog);
    CHECK(seen.hInstance == appState.instance);
    CHECK(memcmp(seen.lpstrFilter, FILTER, sizeof(FILTER)) == 0);
    CHECK(seen.lpstrCustomFilter == NULL);
    CHECK(seen.nFilterIndex == 1);
    CHECK(seen.nMaxFile == MAX_PATH);
    CHECK(seen.lpstrFileTitle == NULL && seen.lpstrInitialDir == NULL);
    CHECK(lstrcmpA(seenTitle, "Save Encoded File As...") == 0);
    CHECK(lstrcmpA(seen.lpstrDefExt, "QVB") == 0);
    CHECK(seen.Flags == 0x00200006);
    CHECK(seen.lpfnHook == NULL && seen.lpTemplateName == NULL);

    RunFailingDialog(0, 0, NULL);
    CHECK(seen.Flags == 0x00201004);
    CHECK(lstrcmpA(seenTitle, "Select File To Be Decoded...") == 0);
    CHECK(seenName[0] == '\0' && seenFolder[0] == '\0');

    // A suggested path opens the Save dialog in its folder, the whole path in the name
    // buffer; a folder alone (the name did not fit) leaves the name empty.
    RunFailingDialog(1, 0, NULL, "C:\\in\\photo.png.QVB");
    CHECK(lstrcmpA(seenName, "C:\\in\\photo.png.QVB") == 0);
    CHECK(lstrcmpA(seenFolder, "C:\\in\\") == 0);
    RunFailingDialog(1, 0, NULL, "C:\\in\\");
    CHECK(seenName[0] == '\0' && lstrcmpA(seenFolder, "C:\\in\\") == 0);
    return CheckSummary("file_dialog_test");
}
