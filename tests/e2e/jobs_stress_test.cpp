// 200 background jobs, each cancelled or finished at a random moment: no crash, no hang,
// no message, and no handle leaked by the program.
// Usage: jobs_stress_test <program.exe> <paced Codrix.dll>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "files_steps.h"

#define JOBS 200
// The first jobs may warm caches of the file dialogs; growth after them is a leak.
#define WARM_UP_JOBS 20
#define HANDLE_SLACK 4

static char folder[MAX_PATH];

static unsigned seed = 20240607;
static unsigned Random(unsigned below)
{
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % below;
}

// One row of the system's handle table (SystemHandleInformation, class 16).
struct HandleRow {
    ULONG pid;
    BYTE type, flags;
    USHORT value;
    PVOID object;
    ACCESS_MASK access;
};
typedef LONG(WINAPI *QuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);

// The object type numbers of a thread, a file and an event handle, read from the test's
// own handles, so that the program's handles of those kinds can be told from the rest.
static BYTE kindTypes[3];

// Handles process `pid` holds, from the system's handle table: all of them, or (kinds)
// only threads, files and events, the kinds a job or a file command opens. Under Wine 8,
// GetProcessHandleCount reports 0, and its Open dialog keeps one registry handle for
// every file chosen, which is not the program's to close. 0 when the table is unreadable.
static DWORD HandleCount(DWORD pid, int kinds, HANDLE own = NULL, BYTE *ownType = NULL)
{
    QuerySystemInformation query = (QuerySystemInformation)(void (*)(void))GetProcAddress(
        GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation");
    ULONG size = 1 << 20, got = 0, i;
    DWORD count = 0;
    LONG status;
    BYTE *table;
    if (!query) return 0;
    for (;;) {
        table = (BYTE *)malloc(size);
        if (!table) return 0;
        status = query(16, table, size, &got);
        if (status != (LONG)0xC0000004) break;  // STATUS_INFO_LENGTH_MISMATCH: grow
        free(table);
        size *= 2;
    }
    if (status == 0) {
        ULONG rows = *(ULONG *)table;
        HandleRow *row = (HandleRow *)(table + sizeof(ULONG_PTR));
        for (i = 0; i < rows; i++) {
            if (row[i].pid != pid) continue;
            if (own && row[i].value == (USHORT)(ULONG_PTR)own) *ownType = row[i].type;
            if (!kinds || row[i].type == kindTypes[0] || row[i].type == kindTypes[1]
                || row[i].type == kindTypes[2])
                count++;
        }
    }
    free(table);
    return count;
}

static void LearnKindTypes(const char *anyFile)
{
    HANDLE thread = NULL, file, event;
    DWORD me = GetCurrentProcessId();
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread, 0,
                    FALSE, DUPLICATE_SAME_ACCESS);
    file = CreateFileA(anyFile, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    event = CreateEventA(NULL, TRUE, FALSE, NULL);
    HandleCount(me, 0, thread, &kindTypes[0]);
    HandleCount(me, 0, file, &kindTypes[1]);
    HandleCount(me, 0, event, &kindTypes[2]);
    REQUIRE(kindTypes[0] && kindTypes[1] && kindTypes[2]);
    CloseHandle(thread);
    CloseHandle(file);
    CloseHandle(event);
}

// After a Cancel click, or when the job is left alone: answers a save dialog if the job
// finished first, and returns 1 once the dialog is idle. A message box or a hang fails.
static int SettleJob(Session *s, const char *saveTitle, const char *output, int save)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND other = UiFindOtherWindow(s->pid, s->dialog);
        if (other) {
            char title[256];
            GetWindowTextA(other, title, sizeof(title));
            if (lstrcmpA(title, saveTitle) != 0 || !GetDlgItem(other, UI_FILE_NAME_ID)) {
                printf("    unexpected window \"%s\"\n", title);
                return 0;
            }
            if (save) {
                DeleteFileA(output);
                UiChooseFile(other, output);
                if (!UiWaitForWindowGone(other, UI_TIMEOUT_MS)) return 0;
            } else if (!UiCancelFileDialog(other)) {
                return 0;
            }
        }
        if (WaitForIdle(s, 0)) return 1;
        if (GetTickCount() - start > UI_TIMEOUT_MS) return 0;
        Sleep(5);
    }
}

int main(int argc, char **argv)
{
    Session s;
    char from[MAX_PATH];
    DWORD warm = 0, last = 0, warmAll = 0, lastAll = 0, exitCode = 1;
    int job, cancelled = 0, finished = 0;
    REQUIRE(argc >= 3);
    MakeTestFolder("jobs-stress", folder, sizeof(folder));

    std::string exe = JoinPath(folder, "QuorvelBase64.exe");
    UiWindowsPath(argv[1], from, sizeof(from));
    REQUIRE(CopyFileA(from, exe.c_str(), FALSE));
    UiWindowsPath(argv[2], from, sizeof(from));
    REQUIRE(CopyFileA(from, JoinPath(folder, "Codrix.dll").c_str(), FALSE));
    // About 100 ms a job, so a click lands anywhere from its start to past its end.
    SetEnvironmentVariableA("CODRIX_TEST_PACE_MS", "4");
    std::string bytes(256 * 1024, '\0');
    for (size_t i = 0; i < bytes.size(); i++) bytes[i] = (char)Random(256);
    std::string text = ReferenceEncode(bytes);
    std::string input = JoinPath(folder, "in.bin"), encoded = JoinPath(folder, "in.QVB");
    std::string output = JoinPath(folder, "out.bin");
    REQUIRE(UiWriteFile(input.c_str(), bytes.data(), (DWORD)bytes.size()));
    REQUIRE(UiWriteFile(encoded.c_str(), text.data(), (DWORD)text.size()));

    LearnKindTypes(input.c_str());
    StartSession(exe.c_str(), &s);
    for (job = 1; job <= JOBS; job++) {
        int encode = Random(2), cancel = Random(3) != 0, save = Random(2);
        DeleteFileA(output.c_str());
        if (!OpenThrough(&s, encode ? s.encode : s.decode,
                         encode ? ENCODE_OPEN_TITLE : DECODE_OPEN_TITLE,
                         encode ? input.c_str() : encoded.c_str())) {
            CHECK(!"the Open dialog came and went");
            break;
        }
        if (cancel) {
            Sleep(Random(150));
            UiClick(s.cancel);
            cancelled++;
        } else {
            finished++;
        }
        if (!CHECK(SettleJob(&s, encode ? ENCODE_SAVE_TITLE : DECODE_SAVE_TITLE,
                             output.c_str(), save))) {
            printf("    job %d did not end cleanly\n", job);
            break;
        }
        if (save && FileExists(output.c_str()))
            CHECK(ReadAll(output.c_str()) == (encode ? text : bytes));
        if (job == WARM_UP_JOBS) {
            warm = HandleCount(s.pid, 1);
            warmAll = HandleCount(s.pid, 0);
        }
        if (job % 20 == 0) {
            printf("after %d jobs: %lu threads, files and events; %lu handles in all\n", job,
                   HandleCount(s.pid, 1), HandleCount(s.pid, 0));
            fflush(stdout);
        }
    }
    last = HandleCount(s.pid, 1);
    lastAll = HandleCount(s.pid, 0);
    printf("%d jobs (%d cancel clicks, %d left to finish); threads, files and events after "
           "%d jobs: %lu, at the end: %lu (all handles: %lu, %lu)\n", job - 1, cancelled,
           finished, WARM_UP_JOBS, warm, last, warmAll, lastAll);
    CHECK(warm > 0);
    CHECK(last <= warm + HANDLE_SLACK);

    UiCloseButton(s.dialog);
    CHECK(UiWaitForExit(&s.program, UI_TIMEOUT_MS, &exitCode));
    CHECK_INT(exitCode, 0);
    UiEndProgram(&s.program);
    return UiFinish();
}
