// tests/e2e/dialog_test.cpp -- the main dialog as a user first sees it: caption, frame,
// the twelve controls in tab order with their texts, places and start state, labels that
// fit their text, and keys that must do nothing. Then the same dialog from a copy of the
// program beside a stranger's COMCTL32.DLL, which must never run.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "main_dialog.h"
#include "ui.h"

static void CheckFrame(HWND dialog)
{
    LONG style = UiStyle(dialog);
    char *caption = UiGetText(dialog);
    CHECK_TEXT(caption, MAIN_DIALOG_CAPTION);
    free(caption);
    CHECK((style & WS_CAPTION) == WS_CAPTION);
    CHECK(style & WS_SYSMENU);
    CHECK(style & WS_MINIMIZEBOX);
    CHECK(!(style & WS_MAXIMIZEBOX));
    CHECK(!(style & WS_THICKFRAME));   // not resizable
    CHECK(GetMenu(dialog) == NULL);
}

// Children in creation order; positions within a pixel or two of the dialog units, since
// the base units are measured here rather than read from the dialog.
static void CheckControls(HWND dialog)
{
    HWND child = GetWindow(dialog, GW_CHILD);
    int index = 0;
    for (; child && index < MAIN_DIALOG_CONTROL_COUNT;
         child = GetWindow(child, GW_HWNDNEXT), index++) {
        const MainDialogControl *want = &MAIN_DIALOG_CONTROLS[index];
        char className[64];
        char *text = UiGetText(child);
        RECT got = UiControlRect(dialog, child);
        RECT expected = UiDialogUnitsToPixels(dialog, want->x, want->y, want->cx, want->cy);
        printf("control %d: id %d\n", index + 1, want->id);
        UiGetClass(child, className, sizeof(className));
        CHECK_INT(GetDlgCtrlID(child) & 0xFFFF, want->id);
        CHECK_TEXT(className, MainDialogClassName(want));
        CHECK_TEXT(text, want->text);
        CHECK(IsWindowVisible(child));
        CHECK(abs(got.left - expected.left) <= 2 && abs(got.top - expected.top) <= 2);
        CHECK(abs(got.right - expected.right) <= 2 && abs(got.bottom - expected.bottom) <= 2);
        free(text);
    }
    CHECK_INT(index, MAIN_DIALOG_CONTROL_COUNT);
    CHECK(child == NULL);               // nothing beyond the twelve
    CHECK(GetDlgItem(dialog, 1007) == NULL);
}

// Each label's text fits its control in the dialog's font, measured as the static control
// draws it (word-wrapped in its client area): with a font wider than the template was
// made for, the words that no longer fit are not drawn at all.
static void CheckLabelsFit(HWND dialog)
{
    HDC screen = GetDC(NULL);
    HFONT font = UiCreateDialogFont();
    HGDIOBJ old = SelectObject(screen, font);
    HWND child;
    int labels = 0;
    for (child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[64];
        char *text;
        RECT client, needed;
        UiGetClass(child, className, sizeof(className));
        text = UiGetText(child);
        if (lstrcmpiA(className, "Static") == 0 && text[0]) {
            GetClientRect(child, &client);
            needed = client;
            DrawTextA(screen, text, -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
            printf("label \"%s\": needs %ld x %ld pixels of %ld x %ld\n", text,
                   needed.right - needed.left, needed.bottom - needed.top,
                   client.right - client.left, client.bottom - client.top);
            CHECK(needed.right <= client.right && needed.bottom <= client.bottom);
            labels++;
        }
        free(text);
    }
    CHECK_INT(labels, 2);
    SelectObject(screen, old);
    DeleteObject(font);
    ReleaseDC(NULL, screen);
}

static void CheckStartState(UiProgram *program)
{
    HWND dialog = program->dialog;
    GUITHREADINFO thread;
    char *status = UiGetText(GetDlgItem(dialog, IDC_STATUS));
    ZeroMemory(&thread, sizeof(thread));
    thread.cbSize = sizeof(thread);
    CHECK(UiIsChecked(GetDlgItem(dialog, IDC_ASYNC)));
    CHECK(UiIsEnabled(GetDlgItem(dialog, IDC_ASYNC)));
    CHECK(UiIsEnabled(GetDlgItem(dialog, IDC_ENCODE_FILE)));
    CHECK(UiIsEnabled(GetDlgItem(dialog, IDC_DECODE_FILE)));
    CHECK(!UiIsEnabled(GetDlgItem(dialog, IDC_CANCEL_JOB)));
    CHECK_INT(UiProgressPos(GetDlgItem(dialog, IDC_PROGRESS)), 0);
    CHECK_INT(SendMessageA(GetDlgItem(dialog, IDC_PROGRESS), PBM_GETRANGE, FALSE, 0), 100);
    CHECK_TEXT(status, "");
    // The first tab stop has the focus.
    CHECK(GetGUIThreadInfo(GetWindowThreadProcessId(dialog, NULL), &thread));
    CHECK(thread.hwndFocus == GetDlgItem(dialog, IDC_PLAIN_TEXT));
    free(status);
}

// Enter and Esc on the check box send IDOK and IDCANCEL, which must do nothing; a click
// only toggles it. Typing afterwards goes through the same queue, so once it shows, the
// keys have been handled.
static void CheckIgnoredKeys(UiProgram *program)
{
    HWND dialog = program->dialog;
    HWND check = GetDlgItem(dialog, IDC_ASYNC);
    HWND plain = GetDlgItem(dialog, IDC_PLAIN_TEXT);
    DWORD code = 0;
    UINT keys[] = {VK_RETURN, VK_ESCAPE};
    int i;
    for (i = 0; i < 2; i++) {
        UiPressKey(check, keys[i]);
        CHECK(UiType(plain, "k"));
        CHECK(IsWindowVisible(dialog));
        CHECK(UiIsChecked(check));
        CHECK(UiFindOtherWindow(program->process.dwProcessId, dialog) == NULL);
        CHECK(!UiWaitForExit(program, 0, &code));
    }
    UiClick(check);
    CHECK(UiType(plain, "k"));
    CHECK(!UiIsChecked(check));
    CHECK(UiIsEnabled(GetDlgItem(dialog, IDC_ENCODE_FILE)));
    CHECK(!UiIsEnabled(GetDlgItem(dialog, IDC_CANCEL_JOB)));
    UiClick(check);
    CHECK(UiType(plain, "k"));
    CHECK(UiIsChecked(check));
}

// Copies `from` (a Unix or Windows path) to folder\name; 1 when copied.
static int CopyInto(const char *from, const char *folder, const char *name, char *to)
{
    char source[MAX_PATH];
    UiWindowsPath(from, source, sizeof(source));
    wsprintfA(to, "%s\\%s", folder, name);
    return CopyFileA(source, to, FALSE) ? 1 : 0;
}

// A stranger's COMCTL32.DLL beside a copy of the program and its library, and Wine told
// to prefer a library found there, as Windows' loader does for any that is not a Known
// DLL. Were it ever loaded, it would leave a marker file and end the process with its
// own exit code; the program must instead build its dialog, progress bar included.
static void CheckPlantedLibraryIgnored(const char *program, const char *codrix,
                                       const char *planted)
{
    char folder[MAX_PATH], exe[MAX_PATH], library[MAX_PATH], stranger[MAX_PATH];
    char marker[MAX_PATH], overrides[400] = "";
    char className[64];
    DWORD code = 1;
    UiProgram copy;
    HWND progress;

    // Wine's loader reads the overrides from the Unix environment the test started with
    // (see tests/e2e/CMakeLists.txt), not from one changed here.
    GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof(overrides));
    CharLowerA(overrides);
    REQUIRE(strstr(overrides, "comctl32=n,b") != NULL);
    UiTempDir("planted", folder, sizeof(folder));
    REQUIRE(CopyInto(program, folder, "QuorvelBase64.exe", exe));
    REQUIRE(CopyInto(codrix, folder, "Codrix.dll", library));
    REQUIRE(CopyInto(planted, folder, "COMCTL32.DLL", stranger));
    wsprintfA(marker, "%s\\planted-library-ran.txt", folder);

    REQUIRE(UiStartProgram(exe, &copy));
    copy.dialog = UiWaitForDialog(copy.process.dwProcessId, MAIN_DIALOG_CAPTION, NULL,
                                  UI_TIMEOUT_MS);
    if (!copy.dialog && UiWaitForExit(&copy, 0, &code)) {
        printf("    the copy ended with exit code 0x%lX before its dialog appeared\n", code);
    }
    CHECK(copy.dialog != NULL);
    CHECK(GetFileAttributesA(marker) == INVALID_FILE_ATTRIBUTES);
    if (copy.dialog) {
        progress = GetDlgItem(copy.dialog, IDC_PROGRESS);
        UiGetClass(progress, className, sizeof(className));
        CHECK_TEXT(className, "msctls_progress32");
        CHECK(IsWindowVisible(progress));
        CHECK_INT(SendMessageA(progress, PBM_GETRANGE, FALSE, 0), 100);
        UiCloseButton(copy.dialog);
        CHECK(UiWaitForExit(&copy, UI_TIMEOUT_MS, &code));
        CHECK_INT(code, 0);
    }
    UiEndProgram(&copy);
    DeleteFileA(exe);
    DeleteFileA(library);
    DeleteFileA(stranger);
    DeleteFileA(marker);
    RemoveDirectoryA(folder);
}

int main(int argc, char **argv)
{
    UiProgram program;
    DWORD code = 1;
    REQUIRE(argc >= 4);
    UiLaunch(argv[1], MAIN_DIALOG_CAPTION, &program);
    CheckFrame(program.dialog);
    CheckControls(program.dialog);
    CheckLabelsFit(program.dialog);
    CheckStartState(&program);
    CheckIgnoredKeys(&program);
    UiCloseButton(program.dialog);
    CHECK(UiWaitForExit(&program, UI_TIMEOUT_MS, &code));
    CHECK_INT(code, 0);
    UiEndProgram(&program);
    CheckPlantedLibraryIgnored(argv[1], argv[2], argv[3]);
    return UiFinish();
}
