// app/dialog.cpp -- the main dialog's procedure: it only routes each message to the
// subsystem that handles it (text/ for the boxes, files/ for files, jobs and progress).
#include "app/app.h"

#include <commctrl.h>

#include "files/files.h"
#include "res/resource.h"
#include "text/text.h"

static void OnInitDialog(HWND dialog)
{
    appState.dialog = dialog;
    SendMessageA(dialog, WM_SETICON, ICON_BIG,
                 (LPARAM)LoadIconA(appState.instance, MAKEINTRESOURCEA(IDI_MAIN)));
    SendDlgItemMessageA(dialog, IDC_ASYNC, BM_SETCHECK, BST_CHECKED, 0);
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    InitTextBoxes();
    AcceptDroppedFiles();
}

// A row matches only its exact (control, notification) pair; IDOK from Enter, IDCANCEL
// from Esc and the check box's own clicks fall through and do nothing.
static void RouteCommand(WPARAM wParam)
{
    switch ((DWORD)wParam) {
    case MAKELONG(IDC_PLAIN_TEXT, EN_CHANGE):   OnPlainTextChanged();  break;
    case MAKELONG(IDC_BASE64_TEXT, EN_CHANGE):  OnBase64TextChanged(); break;
    case MAKELONG(IDC_ENCODE_FILE, BN_CLICKED): OnEncodeFile();        break;
    case MAKELONG(IDC_DECODE_FILE, BN_CLICKED): OnDecodeFile();        break;
    case MAKELONG(IDC_CANCEL_JOB, BN_CLICKED):  CancelJob();           break;
    }
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:    OnInitDialog(dialog);                        return TRUE;
    case WM_CLOSE:         EndDialog(dialog, 0);                        return TRUE;
    case WM_COMMAND:       RouteCommand(wParam);                        return TRUE;
    case WM_TIMER:         OnProgressTimer((UINT)wParam);               return TRUE;
    case WM_APP_JOB_ENDED: OnJobEnded((DWORD)wParam, (int)lParam);      return TRUE;
    case WM_DROPFILES:     OnDropFiles((HDROP)wParam);                  return TRUE;
    }
    return FALSE;
}
