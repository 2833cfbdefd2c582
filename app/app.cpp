// app/app.cpp -- the state record every subsystem shares, and the program's error box.
// Entry and shutdown order live in main.cpp, the dialog's behaviour in dialog.cpp.
#include "app/app.h"

#include "res/resource.h"

// A constant the compiler lays down in the image: no runtime start-up runs before AppEntry.
const RunningJob NO_JOB = {INVALID_HANDLE_VALUE, 0, 0, NULL, NULL, 0, 0, {0}};

// All zero here; AppEntry sets `job` to NO_JOB before anything else runs.
AppState appState;

const char APP_CAPTION[] = APP_CAPTION_TEXT;

void ShowError(const char *text)
{
    MessageBoxA(appState.dialog, text, APP_CAPTION, MB_OK | MB_ICONERROR);
}
