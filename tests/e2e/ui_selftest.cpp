// tests/e2e/ui_selftest.cpp -- the helpers for message boxes and file dialogs, tried on
// boxes and dialogs this process opens itself on a second thread, so a file test that
// relies on them fails for its own reasons only.
#include <stdio.h>
#include <string.h>

#include "ui.h"

#include <commdlg.h>

struct BoxRequest {
    const char *text;
    UINT type;
    int result;
};

static DWORD WINAPI ShowBox(void *param)
{
    BoxRequest *request = (BoxRequest *)param;
    request->result = MessageBoxA(NULL, request->text, "Self-test caption", request->type);
    return 0;
}

struct FileRequest {
    int save;
    const char *title;
    char path[MAX_PATH];
    DWORD filterIndex;
    BOOL result;
};

static DWORD WINAPI ShowFileDialog(void *param)
{
    FileRequest *request = (FileRequest *)param;
    OPENFILENAMEA dialog;
    ZeroMemory(&dialog, sizeof(dialog));
    dialog.lStructSize = sizeof(dialog);
    dialog.lpstrFilter = "Text files (*.txt)\0*.txt\0All files (*.*)\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = request->path;
    dialog.nMaxFile = sizeof(request->path);
    dialog.lpstrTitle = request->title;
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY |
                   (request->save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    request->result = request->save ? GetSaveFileNameA(&dialog) : GetOpenFileNameA(&dialog);
    request->filterIndex = dialog.nFilterIndex;
    return 0;
}

static void TestMessageBoxes(void)
{
    static const struct {
        UINT type;
        char icon;
        int buttons[2];
        int press;
    } CASES[] = {
        {MB_OK | MB_ICONERROR, 'E', {IDOK, 0}, IDOK},
        {MB_OK | MB_ICONWARNING, 'W', {IDOK, 0}, IDOK},
        {MB_YESNO | MB_ICONQUESTION, 'I', {IDYES, IDNO}, IDNO},
        {MB_OK, 0, {IDOK, 0}, IDOK},
    };
    size_t i;
    for (i = 0; i < sizeof(CASES) / sizeof(CASES[0]); i++) {
        BoxRequest request = {"Error: Something went wrong!", CASES[i].type, 0};
        UiMessageBox box;
        HANDLE thread = CreateThread(NULL, 0, ShowBox, &request, 0, NULL);
        int count = CASES[i].buttons[1] ? 2 : 1, b;
        printf("message box case %u\n", (unsigned)i);
        REQUIRE(thread != NULL);
        CHECK(UiWaitForMessageBox(GetCurrentProcessId(), UI_TIMEOUT_MS, &box));
        CHECK_TEXT(box.caption, "Self-test caption");
        CHECK_TEXT(box.text, request.text);
        CHECK_INT(box.buttonCount, count);
        for (b = 0; b < count; b++) CHECK_INT(box.buttonIds[b], CASES[i].buttons[b]);
        CHECK_INT(box.icon, CASES[i].icon);
        if (CASES[i].press == IDOK) CHECK(UiPressOk(&box));
        else UiPressButton(box.window, CASES[i].press);
        CHECK(WaitForSingleObject(thread, UI_TIMEOUT_MS) == WAIT_OBJECT_0);
        CHECK_INT(request.result, CASES[i].press);
        CloseHandle(thread);
    }
}

static HANDLE StartFileDialog(FileRequest *request, int save, const char *title)
{
    ZeroMemory(request, sizeof(*request));
    request->save = save;
    request->title = title;
    return CreateThread(NULL, 0, ShowFileDialog, request, 0, NULL);
}

static void TestFileDialogs(void)
{
    char folder[MAX_PATH], path[MAX_PATH], type[128];
    FileRequest request;
    HANDLE thread;
    HWND dialog;
    UiTempDir("ui-selftest", folder, sizeof(folder));
    wsprintfA(path, "%s\\existing.bin", folder);
    REQUIRE(UiWriteFile(path, "12345", 5));

    printf("open: file type, then a chosen file\n");
    thread = StartFileDialog(&request, 0, "Self-test open");
    dialog = UiWaitForFileDialog(GetCurrentProcessId(), "Self-test open", UI_TIMEOUT_MS);
    REQUIRE(dialog != NULL);
    CHECK_INT(UiFileType(dialog, type, sizeof(type)), 0);
    CHECK_TEXT(type, "Text files (*.txt)");
    UiSetFileType(dialog, 1);
    CHECK_INT(UiFileType(dialog, type, sizeof(type)), 1);
    UiChooseFile(dialog, path);
    CHECK(WaitForSingleObject(thread, UI_TIMEOUT_MS) == WAIT_OBJECT_0);
    CHECK(request.result);
    CHECK(lstrcmpiA(request.path, path) == 0);
    CHECK_INT(request.filterIndex, 2);
    CloseHandle(thread);

    printf("open: cancel\n");
    thread = StartFileDialog(&request, 0, "Self-test open");
    dialog = UiWaitForFileDialog(GetCurrentProcessId(), "Self-test open", UI_TIMEOUT_MS);
    REQUIRE(dialog != NULL);
    CHECK(UiCancelFileDialog(dialog));
    CHECK(WaitForSingleObject(thread, UI_TIMEOUT_MS) == WAIT_OBJECT_0);
    CHECK(!request.result);
    CloseHandle(thread);

    // Saving over an existing file asks first; No returns to the dialog, Yes completes.
    printf("save: overwrite prompt, No then Yes\n");
    thread = StartFileDialog(&request, 1, "Self-test save");
    dialog = UiWaitForFileDialog(GetCurrentProcessId(), "Self-test save", UI_TIMEOUT_MS);
    REQUIRE(dialog != NULL);
    UiSetFileType(dialog, 1);
    UiChooseFile(dialog, path);
    CHECK(UiAnswerOverwrite(GetCurrentProcessId(), dialog, IDNO));
    CHECK(WaitForSingleObject(thread, 500) == WAIT_TIMEOUT);
    CHECK(IsWindowVisible(dialog));
    UiChooseFile(dialog, path);
    CHECK(UiAnswerOverwrite(GetCurrentProcessId(), dialog, IDYES));
    CHECK(WaitForSingleObject(thread, UI_TIMEOUT_MS) == WAIT_OBJECT_0);
    CHECK(request.result);
    CHECK(lstrcmpiA(request.path, path) == 0);
    CloseHandle(thread);
    DeleteFileA(path);
    RemoveDirectoryA(folder);
}

static void TestFiles(void)
{
    char folder[MAX_PATH], path[MAX_PATH];
    static const char data[] = "line one\r\n\0binary\xff";
    char *read = NULL;
    DWORD size = 0;
    UiTempDir("ui-selftest-files", folder, sizeof(folder));
    wsprintfA(path, "%s\\data.bin", folder);
    CHECK(UiWriteFile(path, data, sizeof(data)));
    CHECK(UiReadFile(path, &read, &size));
    CHECK_INT(size, sizeof(data));
    CHECK(read && memcmp(read, data, sizeof(data)) == 0 && read[size] == 0);
    free(read);
    DeleteFileA(path);
    CHECK(!UiReadFile(path, &read, &size));
    RemoveDirectoryA(folder);
}

int main(void)
{
    char windowsPath[MAX_PATH];
    UiWindowsPath("/work/x/y.exe", windowsPath, sizeof(windowsPath));
    CHECK_TEXT(windowsPath, "Z:\\work\\x\\y.exe");
    UiWindowsPath("C:\\a/b", windowsPath, sizeof(windowsPath));
    CHECK_TEXT(windowsPath, "C:\\a\\b");
    // Nothing of ours is open: a window search must come back empty.
    CHECK(UiFindOtherWindow(GetCurrentProcessId(), NULL) == NULL);
    TestFiles();
    TestMessageBoxes();
    TestFileDialogs();
    return UiFinish();
}
