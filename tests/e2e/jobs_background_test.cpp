// Background jobs (the check box checked): the same bytes as the foreground, the busy
// controls, the status line, Cancel, dropped files and a drop refused during a job,
// closing during a job, cancelling the save dialog of a finished job, and jobs that end
// without success.
// Usage: jobs_background_test <program.exe> <paced Codrix.dll> <failing Codrix.dll>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "files_steps.h"

static char folder[MAX_PATH];

static std::string At(const char *name)
{
    return JoinPath(folder, name);
}

// A copy of the program beside a test build of the library, in its own folder.
static std::string ProgramWithLibrary(const char *exe, const char *dll, const char *name)
{
    char from[MAX_PATH], to[MAX_PATH];
    std::string dir = At(name);
    CreateDirectoryA(dir.c_str(), NULL);
    UiWindowsPath(exe, from, sizeof(from));
    REQUIRE(CopyFileA(from, JoinPath(dir.c_str(), "QuorvelBase64.exe").c_str(), FALSE));
    UiWindowsPath(dll, from, sizeof(from));
    lstrcpyA(to, JoinPath(dir.c_str(), "Codrix.dll").c_str());
    REQUIRE(CopyFileA(from, to, FALSE));
    return JoinPath(dir.c_str(), "QuorvelBase64.exe");
}

// Runs one conversion through both dialogs and returns the saved bytes.
static std::string Convert(Session *s, int encode, const std::string &input, const char *output)
{
    DeleteFileA(output);
    CHECK(OpenThrough(s, encode ? s->encode : s->decode,
                      encode ? ENCODE_OPEN_TITLE : DECODE_OPEN_TITLE, input.c_str()));
    CHECK(SaveThrough(s, encode ? ENCODE_SAVE_TITLE : DECODE_SAVE_TITLE, output,
                      encode ? ENCODED_FILTER_NAME : ANY_FILTER_NAME));
    CHECK(WaitForIdle(s, UI_TIMEOUT_MS));
    return ReadAll(output);
}

static void SameBytesAsForeground(const char *exe)
{
    Session s;
    std::string bytes = RandomBytes<std::string>(1024 * 1024 + 2, 7);
    std::string input = At("same.bin");
    REQUIRE(UiWriteFile(input.c_str(), bytes.data(), (DWORD)bytes.size()));
    StartSession(exe, &s);
    CHECK(UiIsChecked(s.async));

    std::string backgroundText = Convert(&s, 1, input, At("bg.QVB").c_str());
    CHECK(backgroundText == ReferenceEncode(bytes));
    std::string backgroundBytes = Convert(&s, 0, At("bg.QVB"), At("bg.out").c_str());
    CHECK(backgroundBytes == bytes);

    SetAsync(&s, 0);
    CHECK(Convert(&s, 1, input, At("fg.QVB").c_str()) == backgroundText);
    CHECK(Convert(&s, 0, At("fg.QVB"), At("fg.out").c_str()) == backgroundBytes);
    UiEndProgram(&s.program);
}

// Waits for the first tick's status line and checks it against the format, field by field.
static int CheckStatusLine(Session *s, const char *coded, int totalKB)
{
    DWORD start = GetTickCount();
    char *text = UiGetText(s->status);
    char expected[200], word[8];
    int done = -1, total = -1, percent = -1, speed = -1, position;
    while (!text[0] && GetTickCount() - start < UI_TIMEOUT_MS) {
        free(text);
        Sleep(50);
        text = UiGetText(s->status);
    }
    position = UiProgressPos(s->progress);
    sscanf(text, "%d KB %2scoded out of %d KB total (%d%%), average speed: %d KB/s.", &done,
           word, &total, &percent, &speed);
    _snprintf(expected, sizeof(expected),
              "%d KB %scoded out of %d KB total (%d%%), average speed: %d KB/s.", done, coded,
              total, percent, speed);
    int ok = CHECK_TEXT(text, expected);
    ok &= CHECK_INT(total, totalKB);
    ok &= CHECK(done >= 0 && done <= total && percent == done * 100 / total);
    ok &= CHECK(position >= 0 && position <= 100);
    free(text);
    return ok;
}

static void WatchAndCancel(const char *paced)
{
    Session s;
    std::string bytes = RandomBytes<std::string>(2 * 1024 * 1024, 11);
    std::string input = At("watch.bin"), text = At("watch.QVB");
    std::string encoded = ReferenceEncode(bytes);
    char *speedText;
    REQUIRE(UiWriteFile(input.c_str(), bytes.data(), (DWORD)bytes.size()));
    REQUIRE(UiWriteFile(text.c_str(), encoded.data(), (DWORD)encoded.size()));
    StartSession(paced, &s);

    printf("encoding job: busy controls, status line, live text, Cancel\n");
    CHECK(OpenThrough(&s, s.encode, ENCODE_OPEN_TITLE, input.c_str()));
    CHECK(WaitForBusy(&s, UI_TIMEOUT_MS));
    CheckStatusLine(&s, "en", 2048);
    CHECK(ControlsBusy(&s));
    CHECK(UiType(s.plain, "Man"));
    CHECK(UiWaitForText(s.base64, "TWFu", UI_TIMEOUT_MS));
    // A later tick has measured some progress, so the speed is not 0.
    UiSleep(1200);
    speedText = UiGetText(s.status);
    CHECK(strstr(speedText, "average speed: 0 KB/s.") == NULL);
    free(speedText);
    CHECK(UiProgressPos(s.progress) > 0);
    UiClick(s.cancel);
    CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
    // Nothing follows a Cancel: no tick, no save dialog, no message.
    CHECK(NothingAppears(&s, 1500));
    CHECK(WaitForIdle(&s, 1000));

    printf("dropped files: converted in the background; a drop during the job refused\n");
    const char *dropped[] = {input.c_str()};
    CHECK(DropOn(&s, s.plain, dropped, 1));
    CHECK(WaitForBusy(&s, UI_TIMEOUT_MS));
    CheckStatusLine(&s, "en", 2048);
    CHECK(DropOn(&s, s.encode, dropped, 1));
    CHECK(ExpectError(&s, DROP_BUSY_ERROR));
    CHECK(ControlsBusy(&s));
    CHECK(AcceptSuggestion(&s, ENCODE_SAVE_TITLE, "watch.bin.QVB"));
    CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
    CHECK(ReadAll(At("watch.bin.QVB").c_str()) == encoded);
    dropped[0] = text.c_str();
    CHECK(DropOn(&s, s.base64Label, dropped, 1));
    CHECK(WaitForBusy(&s, UI_TIMEOUT_MS));
    CHECK(AcceptSuggestion(&s, DECODE_SAVE_TITLE, "watch"));
    CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
    CHECK(ReadAll(At("watch").c_str()) == bytes);

    printf("decoding job: status line, finished job whose save is cancelled\n");
    CHECK(OpenThrough(&s, s.decode, DECODE_OPEN_TITLE, text.c_str()));
    CHECK(WaitForBusy(&s, UI_TIMEOUT_MS));
    CheckStatusLine(&s, "de", (int)(encoded.size() >> 10));
    CHECK(SaveThrough(&s, DECODE_SAVE_TITLE, NULL, ANY_FILTER_NAME));
    CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
    CHECK(NothingAppears(&s, 1000));

    printf("closing the dialog during a job\n");
    int before = CountFiles(folder);
    DWORD exitCode = 1, start;
    CHECK(OpenThrough(&s, s.encode, ENCODE_OPEN_TITLE, input.c_str()));
    CheckStatusLine(&s, "en", 2048);
    UiCloseButton(s.dialog);
    start = GetTickCount();
    while (WaitForSingleObject(s.program.process.hProcess, 20) == WAIT_TIMEOUT) {
        if (!CHECK(UiFindOtherWindow(s.pid, s.dialog) == NULL)) break;
        if (!CHECK(GetTickCount() - start < UI_TIMEOUT_MS)) break;
    }
    CHECK(UiWaitForExit(&s.program, UI_TIMEOUT_MS, &exitCode));
    CHECK_INT(exitCode, 0);
    CHECK_INT(CountFiles(folder), before);
    UiEndProgram(&s.program);
}

static void JobsThatFail(const char *failing)
{
    Session s;
    std::string bytes = RandomBytes<std::string>(300 * 1024, 5);
    std::string input = At("fail.bin"), text = At("fail.QVB");
    std::string encoded = ReferenceEncode(bytes);
    REQUIRE(UiWriteFile(input.c_str(), bytes.data(), (DWORD)bytes.size()));
    REQUIRE(UiWriteFile(text.c_str(), encoded.data(), (DWORD)encoded.size()));
    StartSession(failing, &s);
    CHECK(OpenThrough(&s, s.encode, ENCODE_OPEN_TITLE, input.c_str()));
    CHECK(ExpectError(&s, "Error: Could not encode file!"));
    CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
    CHECK(OpenThrough(&s, s.decode, DECODE_OPEN_TITLE, text.c_str()));
    CHECK(ExpectError(&s, "Error: Could not decode file!"));
    CHECK(WaitForIdle(&s, UI_TIMEOUT_MS));
    UiEndProgram(&s.program);
}

int main(int argc, char **argv)
{
    REQUIRE(argc >= 4);
    MakeTestFolder("jobs-bg", folder, sizeof(folder));
    // A 2 MiB job lasts about five seconds: time to look at it and to stop it.
    SetEnvironmentVariableA("CODRIX_TEST_PACE_MS", "30");
    std::string paced = ProgramWithLibrary(argv[1], argv[2], "paced");
    std::string failing = ProgramWithLibrary(argv[1], argv[3], "failing");

    SameBytesAsForeground(argv[1]);
    WatchAndCancel(paced.c_str());
    JobsThatFail(failing.c_str());
    return UiFinish();
}
