// text/text.cpp -- the two mirrored boxes: every user edit in one converts its whole text
// into the other. The edit controls send EN_CHANGE only for user edits, never for
// SetDlgItemTextA, so writing a result here cannot start the reverse conversion.
#include "text/text.h"

#include "app/app.h"
#include "codec/codrix.h"
#include "res/resource.h"

void InitTextBoxes(void)
{
    // 0 asks for the largest limit the control supports, instead of its default (30,000
    // characters under Wine, 32 KB on Windows), which would cut a long paste.
    SendDlgItemMessageA(appState.dialog, IDC_PLAIN_TEXT, EM_SETLIMITTEXT, 0, 0);
    SendDlgItemMessageA(appState.dialog, IDC_BASE64_TEXT, EM_SETLIMITTEXT, 0, 0);
}

// Copies box `id`'s text into a new zero-filled block; *length gets the characters copied.
// Returns NULL when no block can be had.
static char *CopyBoxText(int id, DWORD *length)
{
    DWORD estimate = (DWORD)SendDlgItemMessageA(appState.dialog, id, WM_GETTEXTLENGTH, 0, 0);
    char *text = (char *)LocalAlloc(LPTR, estimate + 1);
    *length = 0;
    if (!text) return NULL;
    // The length message may over-estimate (it is allowed to for multi-byte code pages);
    // the count actually copied is what gets converted.
    *length = (DWORD)GetDlgItemTextA(appState.dialog, id, text, (int)(estimate + 1));
    return text;
}

void OnPlainTextChanged(void)
{
    DWORD length = 0, size = 0;
    char *input = NULL, *output = NULL;

    input = CopyBoxText(IDC_PLAIN_TEXT, &length);
    if (!input) goto done;
    size = EncodedSize(length);
    if (size == 0) goto done;           // too long to encode in 32 bits
    output = (char *)LocalAlloc(LPTR, size);
    if (!output) goto done;
    EncodeBuffer((const BYTE *)input, length, output, size);
done:
    // Without a result the Base64 box is emptied rather than left showing stale text.
    SetDlgItemTextA(appState.dialog, IDC_BASE64_TEXT, output ? output : "");
    if (output) LocalFree(output);
    if (input) LocalFree(input);
}

void OnBase64TextChanged(void)
{
    DWORD length = 0, size = 0;
    char *text = NULL;
    BYTE *output = NULL;
    int ok = 0;

    text = CopyBoxText(IDC_BASE64_TEXT, &length);
    if (!text) goto done;
    size = DecodedSize(length, MeasureText(text));
    if (size + 1 == 0) goto done;       // no room for the terminating NUL
    // One byte more than the data, so the result always ends in a NUL; decoded data with
    // a zero byte therefore shows up to that byte.
    output = (BYTE *)LocalAlloc(LPTR, size + 1);
    if (!output) goto done;
    ok = DecodeText(text, output, size);
done:
    // A text that does not decode (yet) empties the plain box; no message is shown.
    SetDlgItemTextA(appState.dialog, IDC_PLAIN_TEXT, ok ? (const char *)output : NULL);
    if (output) LocalFree(output);
    if (text) LocalFree(text);
}
