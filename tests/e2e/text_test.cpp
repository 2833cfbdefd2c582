// tests/e2e/text_test.cpp -- live conversion between the two boxes, driven only by what
// a user does (typing, Enter, Backspace, pasting), never by setting a box's text.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "main_dialog.h"
#include "tests/reference_codec.h"
#include "ui.h"

static HWND plain, base64;

// RFC 4648, section 10.
static const struct {
    const char *plain;
    const char *base64;
} VECTORS[] = {
    {"", ""},
    {"f", "Zg=="},
    {"fo", "Zm8="},
    {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="},
    {"fooba", "Zm9vYmE="},
    {"foobar", "Zm9vYmFy"},
};
#define VECTOR_COUNT (sizeof(VECTORS) / sizeof(VECTORS[0]))

static void CheckBoxes(const char *wantPlain, const char *wantBase64)
{
    char *gotPlain = UiGetText(plain);
    char *gotBase64 = UiGetText(base64);
    CHECK_TEXT(gotPlain, wantPlain);
    CHECK_TEXT(gotBase64, wantBase64);
    free(gotPlain);
    free(gotBase64);
}

static void ClearBoth(void)
{
    CHECK(UiClearBox(plain));
    CHECK(UiClearBox(base64));
    CheckBoxes("", "");
}

static void TestVectors(void)
{
    size_t i;
    for (i = 0; i < VECTOR_COUNT; i++) {
        printf("vector \"%s\"\n", VECTORS[i].plain);
        ClearBoth();
        CHECK(UiType(plain, VECTORS[i].plain));
        CheckBoxes(VECTORS[i].plain, VECTORS[i].base64);
        ClearBoth();
        CHECK(UiType(base64, VECTORS[i].base64));
        CheckBoxes(VECTORS[i].plain, VECTORS[i].base64);
        ClearBoth();
        CHECK(UiPaste(plain, VECTORS[i].plain));
        CheckBoxes(VECTORS[i].plain, VECTORS[i].base64);
        ClearBoth();
        CHECK(UiPaste(base64, VECTORS[i].base64));
        CheckBoxes(VECTORS[i].plain, VECTORS[i].base64);
    }
}

// Each step is what the user does next and what both boxes must show after it.
struct Step {
    HWND *box;
    const char *keys;         // typed; NULL means "select all and delete"
    const char *wantPlain;
    const char *wantBase64;
};

static void RunSteps(const char *name, const Step *steps, size_t count)
{
    size_t i;
    printf("%s\n", name);
    ClearBoth();
    for (i = 0; i < count; i++) {
        if (steps[i].keys) CHECK(UiType(*steps[i].box, steps[i].keys));
        else CHECK(UiClearBox(*steps[i].box));
        CheckBoxes(steps[i].wantPlain, steps[i].wantBase64);
    }
}

static void TestEditing(void)
{
    // Enter in the plain box is CR LF in the data.
    static const Step lineBreak[] = {
        {&plain, "a\nb", "a\r\nb", "YQ0KYg=="},
        {&plain, "\b\b", "a", "YQ=="},          // Backspace takes b, then the whole break
    };
    // The plain box is empty while the Base64 text does not decode and fills again as
    // soon as it does; the Base64 box keeps exactly what was typed.
    static const Step notYetDecodable[] = {
        {&base64, "Zm9v", "foo", "Zm9v"},
        {&base64, "Y", "", "Zm9vY"},
        {&base64, "mFy", "foobar", "Zm9vYmFy"},
        {&base64, "!", "", "Zm9vYmFy!"},
        {&base64, "\b", "foobar", "Zm9vYmFy"},
        {&base64, "\n", "foobar", "Zm9vYmFy\r\n"},   // a line break carries no data
    };
    // Emptying either box empties the other.
    static const Step emptying[] = {
        {&plain, "hello", "hello", "aGVsbG8="},
        {&plain, NULL, "", ""},
        {&base64, "aGVsbG8=", "hello", "aGVsbG8="},
        {&base64, NULL, "", ""},
    };
    // Decoded data shows up to its first zero byte: "a\0b" and "\0xyz".
    static const Step zeroByte[] = {
        {&base64, "YQBi", "a", "YQBi"},
        {&base64, NULL, "", ""},
        {&base64, "AHh5eg==", "", "AHh5eg=="},
    };
    RunSteps("line break in the plain box", lineBreak, sizeof(lineBreak) / sizeof(Step));
    RunSteps("not yet decodable", notYetDecodable, sizeof(notYetDecodable) / sizeof(Step));
    RunSteps("emptying either box", emptying, sizeof(emptying) / sizeof(Step));
    RunSteps("zero byte in decoded data", zeroByte, sizeof(zeroByte) / sizeof(Step));

    // Typing in the middle of a text converts the whole text, not the part typed.
    printf("typing in the middle\n");
    ClearBoth();
    CHECK(UiType(plain, "foar"));
    UiSelect(plain, 2, 2);
    CHECK(UiType(plain, "ob"));
    CheckBoxes("foobar", "Zm9vYmFy");
    UiSelect(base64, 0, 4);            // replace "Zm9v" by typing over it
    CHECK(UiType(base64, "YmFy"));
    CheckBoxes("barbar", "YmFyYmFy");
    // A paste into text already there converts the whole result once.
    UiSelect(plain, 3, 3);
    CHECK(UiPaste(plain, "-"));
    CheckBoxes("bar-bar", "YmFyLWJhcg==");
}

// Longer than the edit control's default limit (30,000 characters under Wine): the box
// must take it whole and the other box must show all of its encoding. Lines end in CR LF
// so that only the Base64 box holds one long unbroken line (slow in Wine's control).
static void TestBigPaste(void)
{
    const size_t length = 40000;
    char *text = (char *)calloc(length + 1, 1);
    char *gotPlain, *gotBase64;
    size_t i;
    printf("40,000-character paste\n");
    ClearBoth();
    for (i = 0; i < length; i++)
        text[i] = i % 80 == 78 ? '\r' : i % 80 == 79 ? '\n' : (char)('a' + (i * 7 + i / 80) % 26);
    std::string encoded = ReferenceEncode(std::string(text, length));
    CHECK(UiPaste(plain, text));
    gotPlain = UiGetText(plain);
    gotBase64 = UiGetText(base64);
    CHECK_INT(strlen(gotPlain), length);
    CHECK_INT(strlen(gotBase64), encoded.size());
    CHECK(strcmp(gotPlain, text) == 0);
    CHECK(strcmp(gotBase64, encoded.c_str()) == 0);
    free(gotPlain);
    free(gotBase64);
    free(text);
    ClearBoth();
}

int main(int argc, char **argv)
{
    UiProgram program;
    DWORD code = 1;
    REQUIRE(argc >= 2);
    UiLaunch(argv[1], MAIN_DIALOG_CAPTION, &program);
    plain = GetDlgItem(program.dialog, IDC_PLAIN_TEXT);
    base64 = GetDlgItem(program.dialog, IDC_BASE64_TEXT);
    REQUIRE(plain && base64);
    TestVectors();
    TestEditing();
    TestBigPaste();
    // Nothing the text boxes do may raise a message box or any other window.
    CHECK(UiFindOtherWindow(program.process.dwProcessId, program.dialog) == NULL);
    UiCloseButton(program.dialog);
    CHECK(UiWaitForExit(&program, UI_TIMEOUT_MS, &code));
    CHECK_INT(code, 0);
    UiEndProgram(&program);
    return UiFinish();
}
