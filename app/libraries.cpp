// app/libraries.cpp -- where the program's libraries come from. Only Codrix.dll may come
// from the program's own folder, which whoever unpacked or downloaded the program next to
// other files may share with a stranger's DLLs. The common controls, the common dialogs and
// the shell's drag-and-drop calls are therefore not imported at load time (the loader
// would look in that folder first) but loaded here from the system folder.
#include "app/app.h"

#include <commctrl.h>

typedef BOOL(WINAPI *SetDefaultDllDirectoriesProc)(DWORD directoryFlags);
typedef BOOL(WINAPI *InitCommonControlsExProc)(const INITCOMMONCONTROLSEX *classes);

// Makes every later load by name (and the loads of those libraries' own imports) search
// the system folder only. Returns 1 when that holds, 0 on a system without
// SetDefaultDllDirectories (Windows 7 without its 2011 loader update, and older), which
// also lacks the LOAD_LIBRARY_SEARCH_ flags.
static int RestrictLibrarySearch(void)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    SetDefaultDllDirectoriesProc setDefaultDirectories = NULL;

    if (kernel) {
        setDefaultDirectories = (SetDefaultDllDirectoriesProc)(void *)GetProcAddress(
            kernel, "SetDefaultDllDirectories");
    }
    if (setDefaultDirectories && setDefaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return 1;
    // The most such a system offers: the current folder leaves the search order.
    SetDllDirectoryA("");
    return 0;
}

// Loads `name` from the system folder: by flag where the loader knows it, else by the
// folder's full path. NULL when it cannot be loaded.
static HMODULE LoadSystemLibrary(const char *name, int searchFlagsKnown)
{
    char path[MAX_PATH];
    UINT length;

    if (searchFlagsKnown) return LoadLibraryExA(name, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + 1 + (UINT)lstrlenA(name) >= MAX_PATH) return NULL;
    lstrcatA(path, "\\");
    lstrcatA(path, name);
    return LoadLibraryA(path);
}

// The template names msctls_progress32. Only an explicit registration is certain to have
// it in place before the dialog is built (a newer common-controls library no longer
// registers its classes on load).
static int RegisterProgressClass(int searchFlagsKnown)
{
    INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_PROGRESS_CLASS};
    HMODULE controls = LoadSystemLibrary("comctl32.dll", searchFlagsKnown);
    InitCommonControlsExProc initCommonControls = NULL;

    if (!controls) return 0;
    initCommonControls = (InitCommonControlsExProc)(void *)GetProcAddress(
        controls, "InitCommonControlsEx");
    // Never freed: the progress bar's window procedure lives in this library.
    return initCommonControls && initCommonControls(&classes);
}

// All three entry points or none, so a half-bound set is never used.
static int BindFileDialogs(int searchFlagsKnown)
{
    HMODULE dialogs = LoadSystemLibrary("comdlg32.dll", searchFlagsKnown);
    FARPROC open, save, extendedError;

    if (!dialogs) return 0;
    open = GetProcAddress(dialogs, "GetOpenFileNameA");
    save = GetProcAddress(dialogs, "GetSaveFileNameA");
    extendedError = GetProcAddress(dialogs, "CommDlgExtendedError");
    if (!open || !save || !extendedError) {
        FreeLibrary(dialogs);
        return 0;
    }
    // Kept for the life of the process, like a load-time import.
    appState.getOpenFileName = (BOOL(WINAPI *)(OPENFILENAMEA *))(void *)open;
    appState.getSaveFileName = (BOOL(WINAPI *)(OPENFILENAMEA *))(void *)save;
    appState.commDlgExtendedError = (DWORD(WINAPI *)(void))(void *)extendedError;
    return 1;
}

// All four or none, as for the file dialogs: a drop taken is a drop released.
static int BindDragAndDrop(int searchFlagsKnown)
{
    HMODULE shell = LoadSystemLibrary("shell32.dll", searchFlagsKnown);
    FARPROC accept, queryFile, queryPoint, finish;

    if (!shell) return 0;
    accept = GetProcAddress(shell, "DragAcceptFiles");
    queryFile = GetProcAddress(shell, "DragQueryFileA");
    queryPoint = GetProcAddress(shell, "DragQueryPoint");
    finish = GetProcAddress(shell, "DragFinish");
    if (!accept || !queryFile || !queryPoint || !finish) {
        FreeLibrary(shell);
        return 0;
    }
    // Kept for the life of the process, like a load-time import.
    appState.dragAcceptFiles = (void(WINAPI *)(HWND, BOOL))(void *)accept;
    appState.dragQueryFile = (UINT(WINAPI *)(HDROP, UINT, char *, UINT))(void *)queryFile;
    appState.dragQueryPoint = (BOOL(WINAPI *)(HDROP, POINT *))(void *)queryPoint;
    appState.dragFinish = (void(WINAPI *)(HDROP))(void *)finish;
    return 1;
}

int LoadSystemLibraries(void)
{
    int searchFlagsKnown = RestrictLibrarySearch();
    // Common controls first: when the common dialogs and the shell import them, they are
    // already here.
    int progress = RegisterProgressClass(searchFlagsKnown);
    int dialogs = BindFileDialogs(searchFlagsKnown);
    int drops = BindDragAndDrop(searchFlagsKnown);
    return progress && dialogs && drops;
}
