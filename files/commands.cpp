// files/commands.cpp -- the Encode File and Decode File buttons: read the input whole, size
// the output, then convert here and offer the result, or hand both buffers to a job.
#include "files/files.h"
#include "files/save_name.h"
#include "files/utf16_text.h"

#include "app/app.h"
#include "codec/codrix.h"
#include "res/resource.h"

static int AsyncChecked(void)
{
    return SendDlgItemMessageA(appState.dialog, IDC_ASYNC, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

static void ShowCursorShape(LPCSTR shape)
{
    SetCursor(LoadCursorA(NULL, shape));
}

// Paths are in the ANSI code page, the one IsDBCSLeadByte asks.
static int AnsiLeadByte(uint8_t byte)
{
    return IsDBCSLeadByte(byte) ? 1 : 0;
}

// A click posted to a disabled button still arrives; a job running or being completed owns
// the job fields, so no second command may start then.
int FileCommandsAllowed(void)
{
    return IsWindowEnabled(GetDlgItem(appState.dialog, IDC_ENCODE_FILE))
        && appState.job.handle == INVALID_HANDLE_VALUE;
}

void ShowConversionError(int encoding)
{
    ShowError(encoding ? "Error: Could not encode file!" : "Error: Could not decode file!");
}

void SaveConversion(int encoding, const BYTE *output, DWORD outputSize,
                    const char *suggestedPath)
{
    // The text without its terminating NUL; a failed save has been reported already.
    if (encoding)
        SaveAndWriteFile(output, outputSize - 1, ENCODED_FILE_FILTER,
                         "Save Encoded File As...", ENCODED_FILE_EXTENSION, suggestedPath);
    else
        SaveAndWriteFile(output, outputSize, ANY_FILE_FILTER, "Save Decoded File As...", NULL,
                         suggestedPath);
}

void EncodeFile(const char *path)
{
    BYTE *input = NULL, *output = NULL;
    DWORD length = 0, size = 0;
    char suggestion[MAX_PATH];
    int async = 0, ok = 0;

    if (!ReadWholeFile(path, &input, &length, 0)) return;
    // Zero means the text would not fit 32 bits; then there is nothing to allocate.
    size = EncodedSize(length);
    if (size) output = (BYTE *)LocalAlloc(LPTR, size);
    if (!output) {
        LocalFree(input);
        ShowConversionError(1);
        return;
    }
    SuggestSavePath(path, 1, AnsiLeadByte, suggestion, MAX_PATH);

    async = AsyncChecked();
    ShowCursorShape(IDC_WAIT);
    if (async) {
        BeginEncodeJob(input, length, output, size, suggestion);  // the job frees both buffers
        return;
    }
    ok = EncodeBuffer(input, length, (char *)output, size);
    ShowCursorShape(IDC_ARROW);
    if (ok) SaveConversion(1, output, size, suggestion);
    else ShowConversionError(1);
    LocalFree(output);
    LocalFree(input);
}

void DecodeFile(const char *path)
{
    BYTE *input = NULL, *output = NULL;
    DWORD length = 0, size = 0, measured = 0;
    uint32_t characters = 0;
    char suggestion[MAX_PATH];
    int async = 0, ok = 0;

    // The one extra zero byte ends the file's text. A zero byte inside the file ends it
    // early, and the text then no longer decodes to the size measured from the whole file.
    if (!ReadWholeFile(path, &input, &length, 1)) return;
    // The library takes byte strings: a UTF-16 file is narrowed first, and a character no
    // Base64 text holds fails as the decoder fails on a stray byte.
    characters = length;
    if (!NarrowUtf16Text(input, &characters)) {
        LocalFree(input);
        ShowConversionError(0);
        return;
    }
    length = characters;
    measured = MeasureText((const char *)input);
    size = DecodedSize(length, measured);
    // An empty result still gets a block, so a null pointer always means no memory.
    output = (BYTE *)LocalAlloc(LPTR, size ? size : 1);
    if (!output) {
        LocalFree(input);
        ShowConversionError(0);
        return;
    }
    SuggestSavePath(path, 0, AnsiLeadByte, suggestion, MAX_PATH);

    async = AsyncChecked();
    ShowCursorShape(IDC_WAIT);
    if (async) {
        BeginDecodeJob(input, output, size, suggestion);  // the job frees both buffers
        return;
    }
    ok = DecodeText((const char *)input, output, size);
    ShowCursorShape(IDC_ARROW);
    if (ok) SaveConversion(0, output, size, suggestion);
    else ShowConversionError(0);
    LocalFree(output);
    LocalFree(input);
}

void OnEncodeFile(void)
{
    char path[MAX_PATH];

    if (!FileCommandsAllowed()) return;
    if (ChooseFileToOpen(path, ANY_FILE_FILTER, "Select File To Be Encoded...", NULL))
        EncodeFile(path);
}

void OnDecodeFile(void)
{
    char path[MAX_PATH];

    if (!FileCommandsAllowed()) return;
    if (ChooseFileToOpen(path, ENCODED_FILE_FILTER, "Select File To Be Decoded...",
                         ENCODED_FILE_EXTENSION))
        DecodeFile(path);
}
