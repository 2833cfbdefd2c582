// tests/e2e/files_steps.cpp -- shared steps of the file-conversion tests (files_steps.h).
#include "files_steps.h"

#include <stdio.h>
#include <stdlib.h>

#include "res/resource.h"

void StartSession(const char *exe, Session *s)
{
    ZeroMemory(s, sizeof(*s));
    UiLaunch(exe, MAIN_DIALOG_CAPTION, &s->program);
    s->dialog = s->program.dialog;
    s->pid = s->program.process.dwProcessId;
    s->plain = GetDlgItem(s->dialog, IDC_PLAIN_TEXT);
    s->base64 = GetDlgItem(s->dialog, IDC_BASE64_TEXT);
    s->encode = GetDlgItem(s->dialog, IDC_ENCODE_FILE);
    s->decode = GetDlgItem(s->dialog, IDC_DECODE_FILE);
    s->async = GetDlgItem(s->dialog, IDC_ASYNC);
    s->progress = GetDlgItem(s->dialog, IDC_PROGRESS);
    s->status = GetDlgItem(s->dialog, IDC_STATUS);
    s->cancel = GetDlgItem(s->dialog, IDC_CANCEL_JOB);
    s->plainLabel = GetWindow(s->plain, GW_HWNDPREV);
    s->base64Label = GetWindow(s->base64, GW_HWNDPREV);
    REQUIRE(s->encode && s->decode && s->async && s->progress && s->status && s->cancel);
    REQUIRE(s->plainLabel && s->base64Label);
}

void SetAsync(Session *s, int checked)
{
    DWORD start = GetTickCount();
    if (UiIsChecked(s->async) == checked) return;
    UiClick(s->async);
    while (UiIsChecked(s->async) != checked) {
        REQUIRE(GetTickCount() - start < UI_TIMEOUT_MS);
        Sleep(20);
    }
}

void Settle(Session *s)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(s->dialog, WM_NULL, 0, 0, SMTO_NORMAL, UI_TIMEOUT_MS, &result);
}

static int IsIdle(Session *s)
{
    char *status = UiGetText(s->status);
    int idle = UiIsEnabled(s->encode) && UiIsEnabled(s->decode) && UiIsEnabled(s->async)
        && !UiIsEnabled(s->cancel) && UiProgressPos(s->progress) == 0 && status[0] == 0
        && !UiFindOtherWindow(s->pid, s->dialog);
    free(status);
    return idle;
}

int WaitForIdle(Session *s, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        Settle(s);
        if (IsIdle(s)) return 1;
        if (GetTickCount() - start > timeoutMs) return 0;
        Sleep(50);
    }
}

int ControlsBusy(Session *s)
{
    return !UiIsEnabled(s->encode) && !UiIsEnabled(s->decode) && !UiIsEnabled(s->async)
        && UiIsEnabled(s->cancel);
}

int WaitForBusy(Session *s, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!ControlsBusy(s)) {
        if (GetTickCount() - start > timeoutMs) return 0;
        Sleep(20);
    }
    return 1;
}

int OpenThrough(Session *s, HWND button, const char *title, const char *input)
{
    HWND fileDialog;
    UiClick(button);
    fileDialog = UiWaitForFileDialog(s->pid, title, UI_TIMEOUT_MS);
    if (!fileDialog) return 0;
    if (!input) return UiCancelFileDialog(fileDialog);
    UiChooseFile(fileDialog, input);
    return UiWaitForWindowGone(fileDialog, UI_TIMEOUT_MS);
}

int SelectedFileType(HWND fileDialog, char *out, int size)
{
    // The selected item's own text: the drop-down list shows no window text of its own
    // to another process, and Wine hands the item over only in its Unicode form.
    HWND combo = GetDlgItem(fileDialog, UI_FILE_TYPE_ID);
    int index = (int)SendMessageW(combo, CB_GETCURSEL, 0, 0);
    WCHAR text[256];
    out[0] = 0;
    if (index >= 0 && SendMessageW(combo, CB_GETLBTEXTLEN, index, 0) < 256) {
        SendMessageW(combo, CB_GETLBTEXT, index, (LPARAM)text);
        WideCharToMultiByte(CP_ACP, 0, text, -1, out, size, NULL, NULL);
    }
    return index;
}

int SaveThrough(Session *s, const char *title, const char *output, const char *filterName)
{
    char type[256];
    HWND fileDialog = UiWaitForFileDialog(s->pid, title, UI_TIMEOUT_MS);
    if (!fileDialog) return 0;
    if (filterName) {
        CHECK_INT(SelectedFileType(fileDialog, type, sizeof(type)), 0);
        CHECK_TEXT(type, filterName);
    }
    if (!output) return UiCancelFileDialog(fileDialog);
    UiChooseFile(fileDialog, output);
    return UiWaitForWindowGone(fileDialog, UI_TIMEOUT_MS);
}

int DropOn(Session *s, HWND control, const char *const *paths, int count)
{
    return UiDropFiles(s->dialog, UiControlCentre(s->dialog, control), paths, count);
}

int AcceptSuggestion(Session *s, const char *title, const char *name)
{
    char offered[MAX_PATH];
    HWND fileDialog = UiWaitForFileDialog(s->pid, title, UI_TIMEOUT_MS);
    if (!fileDialog) return 0;
    UiFileName(fileDialog, offered, sizeof(offered));
    int ok = CHECK_TEXT(offered, name);
    UiPressButton(fileDialog, IDOK);
    return UiWaitForWindowGone(fileDialog, UI_TIMEOUT_MS) && ok;
}

int ExpectError(Session *s, const char *text)
{
    UiMessageBox box;
    int ok = 1;
    if (!CHECK(UiWaitForMessageBox(s->pid, UI_TIMEOUT_MS, &box))) {
        HWND other = UiFindOtherWindow(s->pid, s->dialog);
        char title[256] = "", name[64] = "";
        if (other) {
            GetWindowTextA(other, title, sizeof(title));
            GetClassNameA(other, name, sizeof(name));
        }
        printf("    instead: %s \"%s\"\n", other ? name : "no window", title);
        return 0;
    }
    ok &= CHECK_TEXT(box.text, text);
    ok &= CHECK_TEXT(box.caption, MAIN_DIALOG_CAPTION);
    ok &= CHECK_INT(box.icon, 'E');
    ok &= CHECK_INT(box.buttonCount, 1);
    ok &= CHECK(GetWindow(box.window, GW_OWNER) == s->dialog);
    ok &= CHECK(UiPressOk(&box));
    return ok;
}

int NothingAppears(Session *s, DWORD ms)
{
    return UiWaitForOtherWindow(s->pid, s->dialog, ms) == NULL;
}

int FileExists(const char *path)
{
    char windowsPath[MAX_PATH];
    UiWindowsPath(path, windowsPath, sizeof(windowsPath));
    return GetFileAttributesA(windowsPath) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadAll(const char *path)
{
    char *data = NULL;
    DWORD size = 0;
    std::string bytes;
    if (UiReadFile(path, &data, &size)) bytes.assign(data, size);
    free(data);
    return bytes;
}

int CountFiles(const char *folder)
{
    char pattern[MAX_PATH];
    WIN32_FIND_DATAA found;
    HANDLE search;
    int count = 0;
    UiWindowsPath(JoinPath(folder, "*").c_str(), pattern, sizeof(pattern));
    search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        if (lstrcmpA(found.cFileName, ".") && lstrcmpA(found.cFileName, "..")) count++;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

// Deletes what `folder` holds, subfolders and their files included.
static void EmptyFolder(const char *folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(JoinPath(folder, "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::string path = JoinPath(folder, found.cFileName);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (lstrcmpA(found.cFileName, ".") && lstrcmpA(found.cFileName, "..")) {
                EmptyFolder(path.c_str());
                RemoveDirectoryA(path.c_str());
            }
        } else {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void MakeTestFolder(const char *name, char *out, DWORD size)
{
    UiTempDir(name, out, size);
    // Wine reuses process ids, so the folder may hold an earlier run's files.
    EmptyFolder(out);
}

std::string JoinPath(const char *folder, const char *name)
{
    return std::string(folder) + "\\" + name;
}
