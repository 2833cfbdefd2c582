// files/drop.cpp -- files dropped on the dialog: which command a drop is for, or why it is
// refused. What follows a drop is the commands' own (commands.cpp).
#include "files/files.h"

#include "app/app.h"
#include "res/resource.h"

// Where a drop is taken and what it starts there. A label has no id of its own (the
// template gives it -1): it is the control just before its box, in template order.
static const struct {
    int id;
    int withLabel;
    int encoding;
} DROP_TARGETS[] = {
    {IDC_PLAIN_TEXT, 1, 1},
    {IDC_ENCODE_FILE, 0, 1},
    {IDC_BASE64_TEXT, 1, 0},
    {IDC_DECODE_FILE, 0, 0},
};

#define NO_DROP_TARGET (-1)

static const char BUSY_ERROR[] = "Error: Another file is being converted!";
static const char ELSEWHERE_ERROR[] = "Error: Drop the file on a text box or a file button!";
static const char SEVERAL_ERROR[] = "Error: Drop one file at a time!";
static const char FOLDER_ERROR[] = "Error: A folder cannot be converted!";

static int ContainsPoint(HWND control, POINT screenPoint)
{
    RECT rect;
    return control && GetWindowRect(control, &rect) && PtInRect(&rect, screenPoint);
}

// 1 for a place that encodes, 0 for one that decodes, NO_DROP_TARGET elsewhere. The
// point is in the dialog's client coordinates.
static int DropTargetAt(POINT point)
{
    size_t i;

    ClientToScreen(appState.dialog, &point);
    for (i = 0; i < sizeof(DROP_TARGETS) / sizeof(DROP_TARGETS[0]); i++) {
        HWND control = GetDlgItem(appState.dialog, DROP_TARGETS[i].id);
        if (ContainsPoint(control, point)) return DROP_TARGETS[i].encoding;
        if (DROP_TARGETS[i].withLabel && ContainsPoint(GetWindow(control, GW_HWNDPREV), point))
            return DROP_TARGETS[i].encoding;
    }
    return NO_DROP_TARGET;
}

void AcceptDroppedFiles(void)
{
    if (appState.dragAcceptFiles) appState.dragAcceptFiles(appState.dialog, TRUE);
}

void OnDropFiles(HDROP drop)
{
    char path[MAX_PATH];
    POINT point = {0, 0};
    UINT count = 0, length = 0;
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    int inClientArea = 0, target = NO_DROP_TARGET;
    const char *refusal = NULL;

    // Only a dialog that asked for drops gets them, and it asks only with all four calls.
    if (!appState.dragFinish) return;
    path[0] = '\0';
    count = appState.dragQueryFile(drop, 0xFFFFFFFF, NULL, 0);
    inClientArea = appState.dragQueryPoint(drop, &point);
    // A name longer than the buffer would come back cut, and might name another file.
    if (count == 1) length = appState.dragQueryFile(drop, 0, NULL, 0);
    if (count == 1 && length < MAX_PATH) appState.dragQueryFile(drop, 0, path, MAX_PATH);
    // All that is needed has been copied out: the drop is released before anything else.
    appState.dragFinish(drop);

    if (inClientArea) target = DropTargetAt(point);
    // A job, or a box or file dialog of the program's own (which disables the dialog),
    // holds the program: a command started now would run inside the one under way.
    if (!FileCommandsAllowed() || !IsWindowEnabled(appState.dialog)) refusal = BUSY_ERROR;
    else if (target == NO_DROP_TARGET) refusal = ELSEWHERE_ERROR;
    else if (count != 1) refusal = SEVERAL_ERROR;
    else if (length >= MAX_PATH) refusal = ACCESS_ERROR;
    if (!refusal) {
        attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            refusal = FOLDER_ERROR;
    }
    if (refusal) {
        ShowError(refusal);
        return;
    }
    if (target) EncodeFile(path);
    else DecodeFile(path);
}
