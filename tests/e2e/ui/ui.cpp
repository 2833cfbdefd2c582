// tests/e2e/ui/ui.cpp -- the window-driving helpers every end-to-end test shares.
// Everything here works across processes: only messages the system marshals are sent.
#include "ui.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int checkCount;
static int failCount;

// Programs a test started, so a fatal failure does not leave one running.
#define UI_MAX_PROGRAMS 16
static UiProgram *startedPrograms[UI_MAX_PROGRAMS];

int UiCheck(int ok, const char *what, const char *file, int line)
{
    checkCount++;
    if (!ok) {
        failCount++;
        printf("%s:%d: FAILED: %s\n", file, line, what);
        fflush(stdout);
    }
    return ok;
}

int UiCheckInt(long long actual, long long expected, const char *what, const char *file, int line)
{
    int ok = actual == expected;
    if (!UiCheck(ok, what, file, line)) {
        printf("    got %lld, expected %lld\n", actual, expected);
        fflush(stdout);
    }
    return ok;
}

// Long texts are cut in the report: the first difference is what helps.
static void PrintShortened(const char *label, const char *text)
{
    size_t length = text ? strlen(text) : 0;
    if (!text) { printf("    %s (null)\n", label); return; }
    printf("    %s \"%.200s\"%s (%u chars)\n", label, text, length > 200 ? "..." : "",
           (unsigned)length);
}

int UiCheckText(const char *actual, const char *expected, const char *what, const char *file,
                int line)
{
    int ok = actual && expected && strcmp(actual, expected) == 0;
    if (!UiCheck(ok, what, file, line)) {
        PrintShortened("got     ", actual);
        PrintShortened("expected", expected);
        fflush(stdout);
    }
    return ok;
}

void UiFatal(const char *what, const char *file, int line)
{
    int i;
    UiCheck(0, what, file, line);
    printf("    fatal: the test cannot go on\n");
    for (i = 0; i < UI_MAX_PROGRAMS; i++)
        if (startedPrograms[i]) UiEndProgram(startedPrograms[i]);
    UiFinish();
    fflush(stdout);
    ExitProcess(1);
}

int UiFinish(void)
{
    printf("%d checks, %d failed\n", checkCount, failCount);
    fflush(stdout);
    return failCount == 0 && checkCount > 0 ? 0 : 1;
}

void UiSleep(DWORD ms)
{
    Sleep(ms);
}

// ---- The program under test ---------------------------------------------------------

void UiWindowsPath(const char *path, char *out, DWORD size)
{
    DWORD at = 0;
    if (size == 0) return;
    if (path[0] == '/' && size > 2) {
        out[at++] = 'Z';
        out[at++] = ':';
    }
    for (; *path && at + 1 < size; path++) out[at++] = *path == '/' ? '\\' : *path;
    out[at] = 0;
}

int UiStartProgram(const char *path, UiProgram *program)
{
    char commandLine[MAX_PATH + 3];
    char windowsPath[MAX_PATH];
    STARTUPINFOA startup;
    int i;

    ZeroMemory(program, sizeof(*program));
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    UiWindowsPath(path, windowsPath, sizeof(windowsPath));
    wsprintfA(commandLine, "\"%s\"", windowsPath);
    if (!CreateProcessA(windowsPath, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                        &program->process)) {
        printf("    could not start %s (error %lu)\n", windowsPath, GetLastError());
        return 0;
    }
    for (i = 0; i < UI_MAX_PROGRAMS; i++)
        if (!startedPrograms[i]) { startedPrograms[i] = program; break; }
    return 1;
}

void UiLaunch(const char *path, const char *caption, UiProgram *program)
{
    REQUIRE(UiStartProgram(path, program));
    program->dialog = UiWaitForDialog(program->process.dwProcessId, caption, NULL, UI_TIMEOUT_MS);
    REQUIRE(program->dialog != NULL);
}

int UiWaitForExit(UiProgram *program, DWORD timeoutMs, DWORD *exitCode)
{
    if (!program->process.hProcess) return 0;
    if (WaitForSingleObject(program->process.hProcess, timeoutMs) != WAIT_OBJECT_0) return 0;
    return GetExitCodeProcess(program->process.hProcess, exitCode) ? 1 : 0;
}

void UiEndProgram(UiProgram *program)
{
    int i;
    if (program->process.hProcess) {
        if (WaitForSingleObject(program->process.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(program->process.hProcess, 99);
            WaitForSingleObject(program->process.hProcess, 5000);
        }
        CloseHandle(program->process.hProcess);
        program->process.hProcess = NULL;
    }
    if (program->process.hThread) {
        CloseHandle(program->process.hThread);
        program->process.hThread = NULL;
    }
    for (i = 0; i < UI_MAX_PROGRAMS; i++)
        if (startedPrograms[i] == program) startedPrograms[i] = NULL;
}

// ---- Finding windows ----------------------------------------------------------------

struct WindowSearch {
    DWORD pid;
    const char *caption;     // NULL: any
    const char *className;   // NULL: any
    HWND except;
    int messageBoxOnly;
    HWND found;
};

static int IsMessageBoxWindow(HWND window);

static BOOL CALLBACK MatchTopWindow(HWND window, LPARAM param)
{
    WindowSearch *search = (WindowSearch *)param;
    DWORD pid = 0;
    char text[512];

    if (window == search->except || !IsWindowVisible(window)) return TRUE;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid) return TRUE;
    if (search->className) {
        GetClassNameA(window, text, sizeof(text));
        if (strcmp(text, search->className) != 0) return TRUE;
    }
    if (search->caption) {
        GetWindowTextA(window, text, sizeof(text));
        if (strcmp(text, search->caption) != 0) return TRUE;
    }
    if (search->messageBoxOnly && !IsMessageBoxWindow(window)) return TRUE;
    search->found = window;
    return FALSE;
}

static HWND FindTopWindow(DWORD pid, const char *caption, const char *className, HWND except,
                          int messageBoxOnly)
{
    WindowSearch search = {pid, caption, className, except, messageBoxOnly, NULL};
    EnumWindows(MatchTopWindow, (LPARAM)&search);
    return search.found;
}

HWND UiFindDialog(DWORD pid, const char *caption, HWND except)
{
    return FindTopWindow(pid, caption, "#32770", except, 0);
}

HWND UiWaitForDialog(DWORD pid, const char *caption, HWND except, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    HWND found;
    while (!(found = UiFindDialog(pid, caption, except))) {
        if (GetTickCount() - start > timeoutMs) return NULL;
        Sleep(50);
    }
    return found;
}

HWND UiFindOtherWindow(DWORD pid, HWND expected)
{
    return FindTopWindow(pid, NULL, NULL, expected, 0);
}

HWND UiWaitForOtherWindow(DWORD pid, HWND except, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    HWND found;
    while (!(found = UiFindOtherWindow(pid, except))) {
        if (GetTickCount() - start > timeoutMs) return NULL;
        Sleep(50);
    }
    return found;
}

int UiWaitForWindowGone(HWND window, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (GetTickCount() - start > timeoutMs) return 0;
        Sleep(50);
    }
    return 1;
}

// ---- Reading controls ---------------------------------------------------------------

char *UiGetText(HWND window)
{
    DWORD_PTR length = 0;
    char *text;
    // A time-out rather than a plain send, so a hung program fails the test instead of
    // hanging it.
    SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, UI_TIMEOUT_MS, &length);
    text = (char *)calloc(length + 1, 1);
    if (!text) return (char *)calloc(1, 1);
    // Not GetWindowTextA: for another process's window it returns the caption the system
    // keeps, which an edit control never updates.
    if (length)
        SendMessageTimeoutA(window, WM_GETTEXT, length + 1, (LPARAM)text, SMTO_NORMAL,
                            UI_TIMEOUT_MS, NULL);
    return text;
}

// Into a fixed buffer, by message (see UiGetText).
static void ReadText(HWND window, char *out, int size)
{
    out[0] = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, (WPARAM)size, (LPARAM)out, SMTO_NORMAL,
                        UI_TIMEOUT_MS, NULL);
    out[size - 1] = 0;
}

int UiWaitForText(HWND window, const char *expected, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        char *text = UiGetText(window);
        int same = strcmp(text, expected) == 0;
        free(text);
        if (same) return 1;
        if (GetTickCount() - start > timeoutMs) return 0;
        Sleep(50);
    }
}

void UiGetClass(HWND window, char *out, int size)
{
    out[0] = 0;
    GetClassNameA(window, out, size);
}

int UiIsEnabled(HWND window)
{
    return IsWindowEnabled(window) ? 1 : 0;
}

int UiIsChecked(HWND button)
{
    return SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

int UiProgressPos(HWND progress)
{
    return (int)SendMessageA(progress, PBM_GETPOS, 0, 0);
}

LONG UiStyle(HWND window)
{
    return (LONG)GetWindowLongA(window, GWL_STYLE);
}

RECT UiControlRect(HWND dialog, HWND control)
{
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(NULL, dialog, (POINT *)&rect, 2);
    return rect;
}

// MapDialogRect reads data private to the dialog's process, so the base units are measured
// here the way the dialog manager measures them for an 8-point "MS Sans Serif" dialog.
RECT UiDialogUnitsToPixels(HWND dialog, int x, int y, int cx, int cy)
{
    static int baseX, baseY;
    RECT rect;
    (void)dialog;
    if (!baseX) {
        static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        HDC screen = GetDC(NULL);
        HFONT font = UiCreateDialogFont();
        HGDIOBJ old = SelectObject(screen, font);
        TEXTMETRICA metrics;
        SIZE size;
        GetTextMetricsA(screen, &metrics);
        GetTextExtentPoint32A(screen, alphabet, 52, &size);
        baseX = (size.cx / 26 + 1) / 2;
        baseY = metrics.tmHeight;
        SelectObject(screen, old);
        DeleteObject(font);
        ReleaseDC(NULL, screen);
    }
    rect.left = MulDiv(x, baseX, 4);
    rect.top = MulDiv(y, baseY, 8);
    rect.right = MulDiv(x + cx, baseX, 4);
    rect.bottom = MulDiv(y + cy, baseY, 8);
    return rect;
}

HFONT UiCreateDialogFont(void)
{
    HDC screen = GetDC(NULL);
    int height = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(NULL, screen);
    return CreateFontA(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                       "MS Sans Serif");
}

// ---- Acting as the user -------------------------------------------------------------

void UiSelect(HWND box, int start, int end)
{
    DWORD_PTR ignored;
    SendMessageTimeoutA(box, EM_SETSEL, (WPARAM)start, (LPARAM)end, SMTO_NORMAL, UI_TIMEOUT_MS,
                        &ignored);
}

// What an edit control holds after the keys: selection replaced by the first key,
// Enter inserts CR LF, Backspace removes one character or one whole line break.
static char *PredictTyping(const char *before, DWORD start, DWORD end, const char *keys)
{
    size_t length = strlen(before), keyCount = strlen(keys);
    char *text = (char *)calloc(length + 2 * keyCount + 1, 1);
    size_t caret;
    int selection;
    if (!text) return NULL;
    if (start > length) start = (DWORD)length;
    if (end > length || end < start) end = (DWORD)length;
    selection = start != end;
    memcpy(text, before, start);
    strcpy(text + start, before + end);
    caret = start;
    for (; *keys; keys++, selection = 0) {
        size_t now = strlen(text);
        if (*keys == '\b') {
            size_t count = caret >= 2 && text[caret - 2] == '\r' && text[caret - 1] == '\n' ? 2
                           : caret >= 1 ? 1 : 0;
            if (selection) continue;   // the first Backspace only deletes the selection
            memmove(text + caret - count, text + caret, now - caret + 1);
            caret -= count;
        } else if (*keys == '\n') {
            memmove(text + caret + 2, text + caret, now - caret + 1);
            memcpy(text + caret, "\r\n", 2);
            caret += 2;
        } else {
            memmove(text + caret + 1, text + caret, now - caret + 1);
            text[caret++] = *keys;
        }
    }
    return text;
}

int UiType(HWND box, const char *text)
{
    DWORD_PTR selection = 0;
    char *before = UiGetText(box);
    char *expected;
    int ok;
    const char *key;

    SendMessageTimeoutA(box, EM_GETSEL, 0, 0, SMTO_NORMAL, UI_TIMEOUT_MS, &selection);
    expected = PredictTyping(before, LOWORD(selection), HIWORD(selection), text);
    free(before);
    if (!expected) return 0;
    for (key = text; *key; key++) {
        // Enter arrives as the CR character, exactly what the keyboard's WM_KEYDOWN makes.
        WPARAM code = *key == '\n' ? '\r' : (WPARAM)(BYTE)*key;
        PostMessageA(box, WM_CHAR, code, 1);
    }
    ok = UiWaitForText(box, expected, UI_TIMEOUT_MS * 4);
    if (!ok) PrintShortened("typing did not produce", expected);
    free(expected);
    return ok;
}

int UiPaste(HWND box, const char *text)
{
    size_t length = strlen(text);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, length + 1);
    DWORD_PTR ignored;
    int opened = 0, tries;
    char *data;

    if (!block) return 0;
    data = (char *)GlobalLock(block);
    memcpy(data, text, length + 1);
    GlobalUnlock(block);
    // Another process may hold the clipboard for a moment.
    for (tries = 0; tries < 100 && !(opened = OpenClipboard(NULL)); tries++) Sleep(50);
    if (!opened) { GlobalFree(block); return 0; }
    EmptyClipboard();
    if (!SetClipboardData(CF_TEXT, block)) {
        CloseClipboard();
        GlobalFree(block);
        return 0;
    }
    CloseClipboard();   // the clipboard owns the block now
    // Wine's edit control is slow on long unbroken lines: allow it minutes for a big paste.
    return SendMessageTimeoutA(box, WM_PASTE, 0, 0, SMTO_NORMAL, 10 * 60 * 1000, &ignored) ? 1
                                                                                            : 0;
}

int UiClearBox(HWND box)
{
    DWORD_PTR ignored;
    UiSelect(box, 0, -1);
    // Sent, not posted: a box that is empty already would pass the wait below with the
    // backspace still queued, and a paste, being sent, would overtake it and lose its
    // last character to it.
    SendMessageTimeoutA(box, WM_CHAR, '\b', 1, SMTO_NORMAL, UI_TIMEOUT_MS, &ignored);
    return UiWaitForText(box, "", UI_TIMEOUT_MS * 4);
}

void UiClick(HWND button)
{
    PostMessageA(button, BM_CLICK, 0, 0);
}

void UiPressKey(HWND control, UINT virtualKey)
{
    UINT scan = MapVirtualKeyA(virtualKey, 0);
    PostMessageA(control, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
    PostMessageA(control, WM_KEYUP, virtualKey, 1 | (scan << 16) | 0xC0000000u);
}

void UiAltF4(HWND window)
{
    UINT scan = MapVirtualKeyA(VK_F4, 0);
    // Bit 29 says Alt is held; the default window procedure turns it into SC_CLOSE.
    PostMessageA(window, WM_SYSKEYDOWN, VK_F4, 1 | (scan << 16) | (1u << 29));
    PostMessageA(window, WM_SYSKEYUP, VK_F4, 1 | (scan << 16) | (1u << 29) | 0xC0000000u);
}

void UiCloseButton(HWND dialog)
{
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void UiPressButton(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

POINT UiControlCentre(HWND dialog, HWND control)
{
    RECT rect = UiControlRect(dialog, control);
    POINT centre = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    return centre;
}

// The path Wine maps a Windows path to, as the X side names files; Unix paths stay.
static int UnixPath(const char *path, char *out, int size)
{
    typedef char *(CDECL * UnixFileName)(const WCHAR *dosName);
    UnixFileName unixFileName = (UnixFileName)(void (*)(void))GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    WCHAR wide[MAX_PATH];
    char *unix;
    if (path[0] == '/') {
        lstrcpynA(out, path, size);
        return 1;
    }
    if (!unixFileName || !MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH)) return 0;
    unix = unixFileName(wide);
    if (!unix) return 0;
    lstrcpynA(out, unix, size);
    HeapFree(GetProcessHeap(), 0, unix);
    return 1;
}

int UiDropFiles(HWND window, POINT point, const char *const *paths, int count)
{
    char folder[MAX_PATH], windowsFolder[MAX_PATH], request[MAX_PATH], pending[MAX_PATH];
    char reply[MAX_PATH], title[256], unix[MAX_PATH], *answer = NULL;
    DWORD size = 0, start;
    RECT frame;
    FILE *file;
    int i, ok;

    // Only the dropper beside the test can make a drop; without it no drop test means a
    // thing, so the test stops rather than passes.
    REQUIRE(GetEnvironmentVariableA("QUORVEL_DROP_FOLDER", folder, sizeof(folder)) > 0);
    UiWindowsPath(folder, windowsFolder, sizeof(windowsFolder));
    wsprintfA(request, "%s\\request.txt", windowsFolder);
    wsprintfA(pending, "%s\\request.tmp", windowsFolder);
    wsprintfA(reply, "%s\\reply.txt", windowsFolder);
    GetWindowTextA(window, title, sizeof(title));
    GetWindowRect(window, &frame);
    ClientToScreen(window, &point);

    file = fopen(pending, "wb");
    if (!file) return 0;
    fprintf(file, "%s\n%ld %ld %ld %ld\n", title, frame.right - frame.left,
            frame.bottom - frame.top, point.x - frame.left, point.y - frame.top);
    for (i = 0; i < count; i++) {
        if (!UnixPath(paths[i], unix, sizeof(unix))) break;
        fprintf(file, "%s\n", unix);
    }
    fclose(file);
    if (i < count || !MoveFileExA(pending, request, MOVEFILE_REPLACE_EXISTING)) return 0;

    start = GetTickCount();
    while (!UiReadFile(reply, &answer, &size)) {
        if (GetTickCount() - start > UI_TIMEOUT_MS * 2) return 0;
        Sleep(50);
    }
    DeleteFileA(reply);
    ok = strncmp(answer, "ok", 2) == 0;
    if (!ok) printf("    the dropper: %s", answer);
    free(answer);
    return ok;
}

// ---- Message boxes --------------------------------------------------------------------

// A message box holds only statics and push buttons; the program's dialog and the file
// dialogs hold edits and combo boxes too.
static BOOL CALLBACK CheckMessageBoxChild(HWND child, LPARAM param)
{
    int *verdict = (int *)param;
    char name[64];
    GetClassNameA(child, name, sizeof(name));
    if (lstrcmpiA(name, "Static") == 0) return TRUE;
    if (lstrcmpiA(name, "Button") == 0) { *verdict |= 2; return TRUE; }
    *verdict |= 1;
    return FALSE;
}

static int IsMessageBoxWindow(HWND window)
{
    char name[64];
    int verdict = 0;
    GetClassNameA(window, name, sizeof(name));
    if (strcmp(name, "#32770") != 0) return 0;
    EnumChildWindows(window, CheckMessageBoxChild, (LPARAM)&verdict);
    return verdict == 2;
}

static BOOL CALLBACK ReadMessageBoxChild(HWND child, LPARAM param)
{
    UiMessageBox *box = (UiMessageBox *)param;
    char name[64];
    GetClassNameA(child, name, sizeof(name));
    if (!IsWindowVisible(child)) return TRUE;
    if (lstrcmpiA(name, "Button") == 0) {
        if (box->buttonCount < 4) box->buttonIds[box->buttonCount] = GetDlgCtrlID(child);
        box->buttonCount++;
    } else if (lstrcmpiA(name, "Static") == 0 && (UiStyle(child) & SS_TYPEMASK) != SS_ICON) {
        char text[1024];
        ReadText(child, text, sizeof(text));
        // The message is the longest text; Wine may add an empty static.
        if (strlen(text) > strlen(box->text)) lstrcpynA(box->text, text, sizeof(box->text));
    }
    return TRUE;
}

static BOOL CALLBACK FindIconChild(HWND child, LPARAM param)
{
    char name[64];
    GetClassNameA(child, name, sizeof(name));
    if (lstrcmpiA(name, "Static") == 0 && (UiStyle(child) & SS_TYPEMASK) == SS_ICON &&
        IsWindowVisible(child)) {
        *(HWND *)param = child;
        return FALSE;
    }
    return TRUE;
}

// Icon handles mean nothing across processes, so the icon is judged by what is on the
// screen: the error icon is red, the warning yellow, information and question blue.
static char ClassifyIcon(HWND icon)
{
    RECT rect;
    int width, height, red = 0, yellow = 0, blue = 0, i;
    HDC screen = NULL, memory = NULL;
    HBITMAP bitmap = NULL;
    HGDIOBJ old = NULL;
    BITMAPINFO info;
    DWORD *pixels = NULL;
    char verdict = 0;

    GetWindowRect(icon, &rect);
    width = rect.right - rect.left;
    height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0 || width > 256 || height > 256) return 0;
    ZeroMemory(&info, sizeof(info));
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    screen = GetDC(NULL);
    if (!screen) goto done;
    memory = CreateCompatibleDC(screen);
    if (!memory) goto done;
    bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, (void **)&pixels, NULL, 0);
    if (!bitmap) goto done;
    old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    for (i = 0; i < width * height; i++) {
        int r = (pixels[i] >> 16) & 0xFF, g = (pixels[i] >> 8) & 0xFF, b = pixels[i] & 0xFF;
        if (r > 150 && g < 100 && b < 100) red++;
        else if (r > 180 && g > 150 && b < 100) yellow++;
        else if (b > 150 && r < 100) blue++;
    }
    if (red > 20 && red >= yellow && red >= blue) verdict = 'E';
    else if (yellow > 20 && yellow >= blue) verdict = 'W';
    else if (blue > 20) verdict = 'I';
done:
    if (old) SelectObject(memory, old);
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    if (screen) ReleaseDC(NULL, screen);
    return verdict;
}

int UiWaitForMessageBox(DWORD pid, DWORD timeoutMs, UiMessageBox *box)
{
    DWORD start = GetTickCount();
    HWND window, icon = NULL;

    ZeroMemory(box, sizeof(*box));
    while (!(window = FindTopWindow(pid, NULL, "#32770", NULL, 1))) {
        if (GetTickCount() - start > timeoutMs) return 0;
        Sleep(50);
    }
    box->window = window;
    GetWindowTextA(window, box->caption, sizeof(box->caption));
    EnumChildWindows(window, ReadMessageBoxChild, (LPARAM)box);
    EnumChildWindows(window, FindIconChild, (LPARAM)&icon);
    // The box may not be painted yet when it is first found.
    while (icon && !(box->icon = ClassifyIcon(icon)) && GetTickCount() - start < timeoutMs)
        Sleep(100);
    return 1;
}

int UiPressOk(UiMessageBox *box)
{
    UiPressButton(box->window, IDOK);
    return UiWaitForWindowGone(box->window, UI_TIMEOUT_MS);
}

// ---- Open and Save dialogs ----------------------------------------------------------

HWND UiWaitForFileDialog(DWORD pid, const char *title, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    HWND found;
    for (;;) {
        found = UiFindDialog(pid, title, NULL);
        if (found && GetDlgItem(found, UI_FILE_NAME_ID)) return found;
        if (GetTickCount() - start > timeoutMs) return NULL;
        Sleep(50);
    }
}

int UiFileType(HWND fileDialog, char *out, int size)
{
    HWND combo = GetDlgItem(fileDialog, UI_FILE_TYPE_ID);
    out[0] = 0;
    if (!combo) return -1;
    ReadText(combo, out, size);
    return (int)SendMessageA(combo, CB_GETCURSEL, 0, 0);
}

void UiSetFileType(HWND fileDialog, int index)
{
    HWND combo = GetDlgItem(fileDialog, UI_FILE_TYPE_ID);
    SendMessageA(combo, CB_SETCURSEL, (WPARAM)index, 0);
    // A mouse choice sends both; Wine's dialog acts on CBN_SELENDOK, others on SELCHANGE.
    PostMessageA(fileDialog, WM_COMMAND, MAKEWPARAM(UI_FILE_TYPE_ID, CBN_SELCHANGE),
                 (LPARAM)combo);
    PostMessageA(fileDialog, WM_COMMAND, MAKEWPARAM(UI_FILE_TYPE_ID, CBN_SELENDOK),
                 (LPARAM)combo);
}

void UiChooseFile(HWND fileDialog, const char *path)
{
    char windowsPath[MAX_PATH];
    UiWindowsPath(path, windowsPath, sizeof(windowsPath));
    SendMessageA(GetDlgItem(fileDialog, UI_FILE_NAME_ID), WM_SETTEXT, 0, (LPARAM)windowsPath);
    UiPressButton(fileDialog, IDOK);
}

void UiFileName(HWND fileDialog, char *out, int size)
{
    ReadText(GetDlgItem(fileDialog, UI_FILE_NAME_ID), out, size);
}

int UiCancelFileDialog(HWND fileDialog)
{
    UiPressButton(fileDialog, IDCANCEL);
    return UiWaitForWindowGone(fileDialog, UI_TIMEOUT_MS);
}

int UiAnswerOverwrite(DWORD pid, HWND fileDialog, int answer)
{
    UiMessageBox box;
    if (!UiWaitForMessageBox(pid, UI_TIMEOUT_MS, &box)) return 0;
    (void)fileDialog;
    UiPressButton(box.window, answer);
    return UiWaitForWindowGone(box.window, UI_TIMEOUT_MS);
}

// ---- Files ----------------------------------------------------------------------------

int UiWriteFile(const char *path, const void *data, DWORD size)
{
    char windowsPath[MAX_PATH];
    HANDLE file;
    DWORD written = 0;
    int ok;
    UiWindowsPath(path, windowsPath, sizeof(windowsPath));
    file = CreateFileA(windowsPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return 0;
    ok = WriteFile(file, data, size, &written, NULL) && written == size;
    CloseHandle(file);
    return ok ? 1 : 0;
}

int UiReadFile(const char *path, char **data, DWORD *size)
{
    char windowsPath[MAX_PATH];
    HANDLE file;
    DWORD length, got = 0;
    char *buffer = NULL;
    int ok = 0;
    UiWindowsPath(path, windowsPath, sizeof(windowsPath));
    file = CreateFileA(windowsPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return 0;
    length = GetFileSize(file, NULL);
    if (length != INVALID_FILE_SIZE) buffer = (char *)calloc((size_t)length + 1, 1);
    if (buffer && ReadFile(file, buffer, length, &got, NULL) && got == length) {
        *data = buffer;       // the caller frees it
        *size = length;
        buffer = NULL;
        ok = 1;
    }
    free(buffer);
    CloseHandle(file);
    return ok;
}

void UiTempDir(const char *name, char *out, DWORD size)
{
    char base[MAX_PATH];
    GetTempPathA(sizeof(base), base);
    _snprintf(out, size, "%s%s-%lu", base, name, GetCurrentProcessId());
    out[size - 1] = 0;
    CreateDirectoryA(out, NULL);
}
