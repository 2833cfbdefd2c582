// files/transfer.cpp -- the Open and Save dialogs and whole-file reads and writes. Every
// failure is reported here, so callers act only on the 1/0 result.
#include "files/files.h"

#include <commdlg.h>

#include "app/app.h"

const char ANY_FILE_FILTER[] = "All Files (*.*)\0*.*\0";
const char ENCODED_FILE_FILTER[] =
    "Quorvel's Base64 Files (*.QVB)\0*.QVB\0All Files (*.*)\0*.*\0";
const char ENCODED_FILE_EXTENSION[] = "QVB";

const char ACCESS_ERROR[] = "Error: Could not access file!";
static const char DIALOG_ERROR[] = "Error: Could not display dialog!";

#define OPEN_FLAGS (OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_LONGNAMES)
#define SAVE_FLAGS (OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_LONGNAMES)
#define TEMP_PREFIX "qvb"

// Copies the folder part of path, with its trailing separator, into folder (MAX_PATH
// bytes); "." when the path names none. Walks by characters so that a double-byte
// character's trail byte is never taken for a backslash.
static void FolderOfPath(const char *path, char *folder)
{
    const char *end = NULL;
    const char *p;
    int length;

    for (p = path; *p; p = CharNextA(p)) {
        if (*p == '\\' || *p == '/' || *p == ':') end = p + 1;
    }
    if (!end) {
        lstrcpyA(folder, ".");
        return;
    }
    length = (int)(end - path);
    if (length >= MAX_PATH) length = MAX_PATH - 1;
    CopyMemory(folder, path, length);
    folder[length] = '\0';
}

// Runs one file dialog into `name` (MAX_PATH bytes), opened in the folder of `suggestion`
// (NULL or "" for none) with its name, if it has one, in the name box. Returns 1 with the
// chosen path, or 0 after a cancel, which is silent, or after a failure, which has been
// reported.
static int ChooseFileName(int saving, const char *filter, const char *title,
                          const char *defaultExtension, const char *suggestion, char *name)
{
    OPENFILENAMEA dialog;
    char folder[MAX_PATH];

    ZeroMemory(name, MAX_PATH);
    // Without the common dialogs (start-up could not bind them) no dialog can be shown.
    if (!appState.getOpenFileName) {
        ShowError(DIALOG_ERROR);
        return 0;
    }
    ZeroMemory(&dialog, sizeof(dialog));
    // The version-4 record (76 bytes on 32-bit Windows): no places bar, no extra flags.
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = appState.dialog;
    dialog.hInstance = appState.instance;
    dialog.lpstrFilter = filter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrTitle = title;
    dialog.lpstrDefExt = defaultExtension;
    dialog.Flags = saving ? SAVE_FLAGS : OPEN_FLAGS;
    if (suggestion && suggestion[0]) {
        // The whole path in the name buffer as well: a folder there comes before the
        // initial folder, which newer systems may replace by the one last used.
        FolderOfPath(suggestion, folder);
        dialog.lpstrInitialDir = folder;
        if (lstrlenA(folder) < lstrlenA(suggestion)) lstrcpynA(name, suggestion, MAX_PATH);
    }

    if (saving ? appState.getSaveFileName(&dialog) : appState.getOpenFileName(&dialog))
        return 1;
    // Zero here means the user cancelled; anything else is the dialog's own failure.
    if (appState.commDlgExtendedError() != 0) ShowError(DIALOG_ERROR);
    return 0;
}

int ChooseFileToOpen(char *path, const char *filter, const char *title,
                     const char *defaultExtension)
{
    return ChooseFileName(0, filter, title, defaultExtension, NULL, path);
}

int ReadWholeFile(const char *path, BYTE **buffer, DWORD *size, DWORD extra)
{
    HANDLE file = INVALID_HANDLE_VALUE;
    BYTE *block = NULL;
    DWORD length = 0, high = 0, bytesRead = 0;
    int ok = 0;

    // Read sharing only: a file someone is writing is not read half-written.
    file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) goto done;
    length = GetFileSize(file, &high);
    *size = length;
    // A length of exactly 0xFFFFFFFF is indistinguishable from the failure value, and a
    // file of 4 GiB or more would otherwise be read as its size modulo 4 GiB.
    if (length == INVALID_FILE_SIZE || high != 0) goto done;
    // A block that cannot be had (the file is too large for memory, or the size with its
    // extra bytes does not fit 32 bits) means the file cannot be read whole: an access
    // failure like any other, reported here so the caller still acts on 1/0 alone.
    if (length > MAXDWORD - extra) goto done;
    block = (BYTE *)LocalAlloc(LPTR, length + extra ? length + extra : 1);
    if (!block) goto done;
    if (!ReadFile(file, block, length, &bytesRead, NULL) || bytesRead != length) goto done;

    *buffer = block;  // the caller owns it from here
    block = NULL;
    ok = 1;
done:
    if (block) LocalFree(block);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (!ok) ShowError(ACCESS_ERROR);
    return ok;
}

int SaveAndWriteFile(const BYTE *buffer, DWORD size, const char *filter, const char *title,
                     const char *defaultExtension, const char *suggestedPath)
{
    char name[MAX_PATH];
    char folder[MAX_PATH];
    char temp[MAX_PATH];
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD written = 0, attributes = INVALID_FILE_ATTRIBUTES;
    int haveTemp = 0, ok = 0;

    if (!ChooseFileName(1, filter, title, defaultExtension, suggestedPath, name)) return 0;

    // Everything is written to a new file beside the destination first, and only a file
    // that holds every byte takes the destination's place, so a failure part-way (a full
    // disk, a destination in use) never costs the user the file that was there.
    FolderOfPath(name, folder);
    if (!GetTempFileNameA(folder, TEMP_PREFIX, 0, temp)) goto done;
    haveTemp = 1;  // GetTempFileNameA has created it; it goes on every failure path
    file = CreateFileA(temp, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       NULL);
    if (file == INVALID_HANDLE_VALUE) goto done;
    if (!WriteFile(file, buffer, size, &written, NULL) || written != size) goto done;
    if (!FlushFileBuffers(file)) goto done;
    CloseHandle(file);
    file = INVALID_HANDLE_VALUE;

    // A replaced file keeps its attributes (hidden, archive...); a directory of that name
    // is left for the move to refuse.
    attributes = GetFileAttributesA(name);
    if (!MoveFileExA(temp, name, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) goto done;
    haveTemp = 0;
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        SetFileAttributesA(name, attributes);
    ok = 1;
done:
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (haveTemp) DeleteFileA(temp);
    if (!ok) ShowError(ACCESS_ERROR);
    return ok;
}
