// tests/e2e/close_test.cpp -- every way a user closes the dialog ends the process with
// code 0; a program whose dialog cannot be created exits with -1 and shows nothing.
#include <stdio.h>

#include "main_dialog.h"
#include "ui.h"

enum CloseWay { CLOSE_BUTTON, ALT_F4, ESC_IN_PLAIN_BOX, ESC_IN_BASE64_BOX };

static const struct {
    CloseWay way;
    const char *name;
} WAYS[] = {
    {CLOSE_BUTTON, "close button"},
    {ALT_F4, "Alt+F4"},
    {ESC_IN_PLAIN_BOX, "Esc in the plain text box"},
    {ESC_IN_BASE64_BOX, "Esc in the Base64 box"},
};

static void CloseOnce(const char *path, CloseWay way)
{
    UiProgram program;
    DWORD code = 12345;
    UiLaunch(path, MAIN_DIALOG_CAPTION, &program);
    // Some text first, so closing is not only tried on an untouched dialog.
    CHECK(UiType(GetDlgItem(program.dialog, IDC_PLAIN_TEXT), "abc"));
    switch (way) {
    case CLOSE_BUTTON:      UiCloseButton(program.dialog);                                   break;
    case ALT_F4:            UiAltF4(GetDlgItem(program.dialog, IDC_PLAIN_TEXT));             break;
    case ESC_IN_PLAIN_BOX:  UiPressKey(GetDlgItem(program.dialog, IDC_PLAIN_TEXT), VK_ESCAPE);  break;
    case ESC_IN_BASE64_BOX: UiPressKey(GetDlgItem(program.dialog, IDC_BASE64_TEXT), VK_ESCAPE); break;
    }
    CHECK(UiWaitForExit(&program, UI_TIMEOUT_MS, &code));
    CHECK_INT(code, 0);
    UiEndProgram(&program);
}

int main(int argc, char **argv)
{
    UiProgram program;
    DWORD code = 0;
    size_t i;
    REQUIRE(argc >= 3);
    for (i = 0; i < sizeof(WAYS) / sizeof(WAYS[0]); i++) {
        printf("closing with the %s\n", WAYS[i].name);
        CloseOnce(argv[1], WAYS[i].way);
    }

    // argv[2] is the same program built without its dialog template.
    printf("a dialog that cannot be created\n");
    REQUIRE(UiStartProgram(argv[2], &program));
    CHECK(UiWaitForExit(&program, UI_TIMEOUT_MS, &code));
    CHECK_INT(code, 0xFFFFFFFFu);
    UiEndProgram(&program);
    return UiFinish();
}
