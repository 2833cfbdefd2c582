// tests/e2e/main_dialog.h -- the main dialog as the tests expect it, written down once: its
// caption and its twelve controls in template order (also creation and tab order).
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "res/resource.h"

#define MAIN_DIALOG_CAPTION "Quorvel's Base64 Encoder/Decoder 1.0"

// The classes a template names by atom; the progress bar is named by its class name.
#define ATOM_BUTTON 0x80
#define ATOM_EDIT 0x81
#define ATOM_STATIC 0x82
#define ATOM_NONE 0

struct MainDialogControl {
    WORD id;                // 0xFFFF for the labels and group boxes (-1 in the template)
    DWORD style;            // beyond WS_CHILD | WS_VISIBLE
    WORD classAtom;
    const char *text;
    short x, y, cx, cy;     // dialog units
};

#define MAIN_DIALOG_EDIT_STYLE (ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL | WS_BORDER | WS_TABSTOP)

static const MainDialogControl MAIN_DIALOG_CONTROLS[] = {
    {0xFFFF, BS_GROUPBOX, ATOM_BUTTON, "Spontaneous Base64 Encoding/Decoding", 3, 3, 378, 126},
    {0xFFFF, SS_LEFT | WS_GROUP, ATOM_STATIC, "&Plain text:", 9, 13, 32, 8},
    {IDC_PLAIN_TEXT, MAIN_DIALOG_EDIT_STYLE, ATOM_EDIT, "", 9, 23, 366, 45},
    {0xFFFF, SS_LEFT | WS_GROUP, ATOM_STATIC, "&Base64 text:", 9, 69, 40, 8},
    {IDC_BASE64_TEXT, MAIN_DIALOG_EDIT_STYLE, ATOM_EDIT, "", 9, 79, 366, 45},
    {0xFFFF, BS_GROUPBOX, ATOM_BUTTON, "Base64 File Encoding/Decoding", 3, 132, 378, 90},
    {IDC_ENCODE_FILE, BS_PUSHBUTTON | WS_TABSTOP, ATOM_BUTTON, "&Encode File", 9, 144, 181, 15},
    {IDC_DECODE_FILE, BS_PUSHBUTTON | WS_TABSTOP, ATOM_BUTTON, "&Decode File", 194, 144, 181,
     15},
    {IDC_ASYNC, BS_AUTOCHECKBOX | WS_TABSTOP, ATOM_BUTTON,
     "&Asynchronous File Encoding/Decoding", 9, 162, 139, 10},
    {IDC_PROGRESS, WS_BORDER, ATOM_NONE, "Progress1", 9, 174, 366, 12},
    {IDC_STATUS, SS_LEFT | WS_GROUP, ATOM_STATIC, "", 9, 189, 363, 9},
    {IDC_CANCEL_JOB, BS_PUSHBUTTON | WS_DISABLED | WS_TABSTOP, ATOM_BUTTON, "&Cancel", 9, 201,
     366, 15},
};
#define MAIN_DIALOG_CONTROL_COUNT (int)(sizeof(MAIN_DIALOG_CONTROLS) / sizeof(MAIN_DIALOG_CONTROLS[0]))

// The window class a control of the table is created with.
static inline const char *MainDialogClassName(const MainDialogControl *control)
{
    switch (control->classAtom) {
    case ATOM_BUTTON: return "Button";
    case ATOM_EDIT: return "Edit";
    case ATOM_STATIC: return "Static";
    }
    return "msctls_progress32";
}
