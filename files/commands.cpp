// files/commands.cpp -- the Encode File and Decode File buttons: read the input whole, size
// the output, then convert here and offer the result, or hand both buffers to a job.
#include "files/files.h"
#include "files/utf16_text.h"

#include "app/app.h"
#include "codec/codrix.h"
#include "res/resource.h"

static const char ENCODE_ERROR[] = "Error: Could not encode file!";
static const char DECODE_ERROR[] = "Error: Could not decode file!";

static int AsyncChecked(void)
{
    return SendDlgItemMessageA(appState.dialog, IDC_ASYNC, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

static void ShowCursorShape(LPCSTR shape)
{
    SetCursor(LoadCursorA(NULL, shape));
}

// A click posted to a disabled button still arrives; a job running or being completed owns
// the job fields, so no second command may start then.
static int FileCommandsAllowed(void)
{
    return IsWindowEnabled(GetDlgItem(appState.dialog, IDC_ENCODE_FILE))
        && appState.jobHandle == INVALID_HANDLE_VALUE;
}

void OnEncodeFile(void)
{
    BYTE *input = NULL, *output = NULL;
    DWORD length = 0, size = 0;
    int async = 0, ok = 0;

    if (!FileCommandsAllowed()) return;
    if (!OpenAndReadFile(&input, &length, 0, ANY_FILE_FILTER, "Select File To Be Encoded...",
                         NULL))
        return;
    // Zero means the text would not fit 32 bits; then there is nothing to allocate.
    size = EncodedSize(length);
    if (size) output = (BYTE *)LocalAlloc(LPTR, size);
    if (!output) {
        LocalFree(input);
        ShowError(ENCODE_ERROR);
        return;
    }

    async = AsyncChecked();
    ShowCursorShape(IDC_WAIT);
    if (async) {
        BeginBackgroundJob(input, length, output, size);  // the job frees both buffers
        return;
    }
    ok = EncodeBuffer(input, length, (char *)output, size);
    ShowCursorShape(IDC_ARROW);
    if (ok) {
        // The text without its terminating NUL; a failed save has been reported already.
        SaveAndWriteFile(output, size - 1, ENCODED_FILE_FILTER, "Save Encoded File As...",
                         ENCODED_FILE_EXTENSION);
    } else {
        ShowError(ENCODE_ERROR);
    }
    LocalFree(output);
    LocalFree(input);
}

void OnDecodeFile(void)
{
    BYTE *input = NULL, *output = NULL;
    DWORD length = 0, size = 0, measured = 0;
    uint32_t characters = 0;
    int async = 0, ok = 0;

    if (!FileCommandsAllowed()) return;
    // The one extra zero byte ends the file's text. A zero byte inside the file ends it
    // early, and the text then no longer decodes to the size measured from the whole file.
    if (!OpenAndReadFile(&input, &length, 1, ENCODED_FILE_FILTER,
                         "Select File To Be Decoded...", ENCODED_FILE_EXTENSION))
        return;
    // The library takes byte strings: a UTF-16 file is narrowed first, and a character no
    // Base64 text holds fails as the decoder fails on a stray byte.
    characters = length;
    if (!NarrowUtf16Text(input, &characters)) {
        LocalFree(input);
        ShowError(DECODE_ERROR);
        return;
    }
    length = characters;
    measured = MeasureText((const char *)input);
    size = DecodedSize(length, measured);
    // An empty result still gets a block, so a null pointer always means no memory.
    output = (BYTE *)LocalAlloc(LPTR, size ? size : 1);
    if (!output) {
        LocalFree(input);
        ShowError(DECODE_ERROR);
        return;
    }

    async = AsyncChecked();
    ShowCursorShape(IDC_WAIT);
    if (async) {
        BeginBackgroundJob(input, output, size);  // the job frees both buffers
        return;
    }
    ok = DecodeText((const char *)input, output, size);
    ShowCursorShape(IDC_ARROW);
    if (ok) {
        SaveAndWriteFile(output, size, ANY_FILE_FILTER, "Save Decoded File As...", NULL);
    } else {
        ShowError(DECODE_ERROR);
    }
    LocalFree(output);
    LocalFree(input);
}
