// tests/win32/kill_stress_test.cpp -- 500 jobs killed at random instants in one process,
// some while a finished job's thread is killed through its old handle as the start hands
// that thread the job: no hang, no crash, no handle left behind, no memory kept by the
// library, a heap that still serves every thread, and a library that still runs jobs
// correctly afterwards.
#include "codec/codrix.h"
#include "tests/win32/check.h"

#include <stdlib.h>

static const DWORD CYCLES = 500;
// Small enough that many kills land after the job has finished, not only while it
// converts: a worker that then ran the system's thread-exit code could be killed inside
// it and leave a lock held that hangs every later thread start.
static const DWORD PLAIN_BYTES = 3 * 1024 * 1024;
static const DWORD WAIT_MS = 60000;
// The platform itself may keep memory for every killed thread (Wine 8 keeps about 2 MB),
// so the library is measured against the same number of kills of bare threads; a leak
// of anything per job would show as CYCLES times its size, far above this.
static const SIZE_T PRIVATE_GROWTH_LIMIT = 8 * 1024 * 1024;
static const SIZE_T WORKER_STACK_BYTES = 64 * 1024;
// Every fifth cycle races a kill through the last job's handle with the start.
static const DWORD RACE_EVERY = 5;
static const DWORD RACES = CYCLES / RACE_EVERY;

static volatile LONG completionCalls = 0;

// A job is over once its completion has run; its thread stays parked until the next start.
static int AwaitCompletions(LONG count)
{
    DWORD started = GetTickCount();
    while (completionCalls < count) {
        if (GetTickCount() - started > WAIT_MS) return 0;
        Sleep(1);
    }
    return 1;
}

static void WINAPI CountCompletion(HANDLE job, int success, DWORD userValue)
{
    (void)job;
    (void)success;
    (void)userValue;
    InterlockedIncrement(&completionCalls);
}

// A bare thread that says it runs, then spins until told to stop.
struct Spinner {
    volatile LONG running;
    volatile LONG stop;
};

static DWORD WINAPI Spin(LPVOID parameter)
{
    Spinner *spinner = (Spinner *)parameter;
    InterlockedExchange(&spinner->running, 1);
    while (!spinner->stop) {
    }
    return 0;
}

// What `scaledTo` kills of threads that never touch the library cost this process, from
// a tenth of CYCLES: a 32-bit process under Wine has room for only some 950 killed threads.
// Each thread is killed only once it runs: in a 32-bit Wine process a thread killed
// before it has begun running takes the whole process down.
static SIZE_T PlatformCostOfKills(DWORD *seed, DWORD scaledTo)
{
    const DWORD kills = CYCLES / 10;
    SIZE_T before = PrivateBytes();
    Spinner spinner = {0, 0};
    for (DWORD cycle = 0; cycle < kills; ++cycle) {
        DWORD waited = GetTickCount();
        HANDLE thread = NULL;
        InterlockedExchange(&spinner.running, 0);
        thread = CreateThread(NULL, WORKER_STACK_BYTES, Spin, &spinner,
                              STACK_SIZE_PARAM_IS_A_RESERVATION, NULL);
        if (!CHECK(thread != NULL)) break;
        while (!spinner.running && GetTickCount() - waited < WAIT_MS) Sleep(0);
        if (!CHECK(spinner.running)) {
            spinner.stop = 1;   // never kill it unstarted; let it leave by itself
            WaitForSingleObject(thread, WAIT_MS);
            CloseHandle(thread);
            break;
        }
        Sleep(NextRandom(seed) % 6);
        TerminateThread(thread, 0);
        CHECK(WaitForSingleObject(thread, WAIT_MS) == WAIT_OBJECT_0);
        CloseHandle(thread);
    }
    return (PrivateBytes() - before) / kills * scaledTo;
}

// Allocates and frees from the process heap and the CRT on another thread; a heap left
// locked by a killed worker makes this hang, which the caller's time-out turns into a
// failure.
static DWORD WINAPI ExerciseHeap(LPVOID parameter)
{
    DWORD seed = (DWORD)(UINT_PTR)parameter;
    for (DWORD i = 0; i < 20000; ++i) {
        SIZE_T size = NextRandom(&seed) % 5000 + 1;
        void *a = malloc(size);
        HLOCAL b = LocalAlloc(LMEM_ZEROINIT, size);
        void *c = HeapAlloc(GetProcessHeap(), 0, size);
        if (!a || !b || !c) return 1;
        free(a);
        LocalFree(b);
        HeapFree(GetProcessHeap(), 0, c);
    }
    return 0;
}

static void CheckHeapServesThreads(void)
{
    HANDLE threads[4];
    for (DWORD i = 0; i < 4; ++i) threads[i] = CreateThread(NULL, 0, ExerciseHeap, (LPVOID)(UINT_PTR)(i + 1), 0, NULL);
    for (DWORD i = 0; i < 4; ++i) {
        DWORD code = 1;
        if (!CHECK(threads[i] != NULL)) continue;
        CHECK(WaitForSingleObject(threads[i], WAIT_MS) == WAIT_OBJECT_0);
        GetExitCodeThread(threads[i], &code);
        CHECK(code == 0);
        CloseHandle(threads[i]);
    }
}

// A finished job's parked thread, killed through the job's old handle by another thread
// after a random spin of up to 1 ms, about as long as a start takes to hand a parked
// thread its next job. The kill may land before the hand-over (the start must then run
// its job on a new thread) or after it (it then ends the newer job, as codrix.h warns).
// One killer thread serves every race: the first normal thread exits of a process grow
// Wine's own memory by some 3 MB, which would blur the measure of what kills keep.
struct OldHandleKill {
    HANDLE go;                // set for each kill; closing time when job is NULL
    HANDLE done;
    HANDLE job;
    DWORD threadId;
    LONGLONG spinTicks;
    volatile LONG running;
};

static DWORD WINAPI KillThroughOldHandles(LPVOID parameter)
{
    OldHandleKill *kill = (OldHandleKill *)parameter;
    LARGE_INTEGER now, until;
    while (WaitForSingleObject(kill->go, INFINITE) == WAIT_OBJECT_0 && kill->job) {
        QueryPerformanceCounter(&until);
        until.QuadPart += kill->spinTicks;
        InterlockedExchange(&kill->running, 1);
        do {
            QueryPerformanceCounter(&now);
        } while (now.QuadPart < until.QuadPart);
        TerminateThread(kill->job, 0);
        WaitForSingleObject(kill->job, WAIT_MS);
        SetEvent(kill->done);
    }
    return 0;
}

// Runs a job to its end and sets the killer spinning towards its old handle. Returns 0
// on a failed step, with no kill under way.
static int PrepareOldHandleKill(OldHandleKill *kill, DWORD *seed, const BYTE *plain,
                                char *encoded, DWORD encodedSize)
{
    LARGE_INTEGER frequency;
    LONG before = completionCalls;
    DWORD waited = GetTickCount();

    kill->job = StartEncodeJob(plain, PLAIN_BYTES, encoded, encodedSize, CountCompletion, 0);
    if (!CHECK(kill->job != INVALID_HANDLE_VALUE)) return 0;
    kill->threadId = GetThreadId(kill->job);
    QueryPerformanceFrequency(&frequency);
    kill->spinTicks = frequency.QuadPart / 1000000 * (NextRandom(seed) % 1000);
    kill->running = 0;
    if (!CHECK(AwaitCompletions(before + 1))) {
        TerminateThread(kill->job, 0);   // it runs: the start said so
        WaitForSingleObject(kill->job, WAIT_MS);
        CloseHandle(kill->job);
        return 0;
    }
    SetEvent(kill->go);
    while (!kill->running && GetTickCount() - waited < WAIT_MS) Sleep(0);
    return 1;
}

static DWORD racesOnNewThread = 0;
static DWORD racesOnOldThread = 0;

// Starts one job, lets it run for 0 to 5 ms, and kills it. Returns 0 on a failed step.
// With `kill`, every RACE_EVERY-th cycle first races a kill through the last job's
// handle with the start.
static int KillOneJob(DWORD cycle, DWORD *seed, const BYTE *plain, char *encoded, DWORD encodedSize,
                      const char *text, BYTE *decoded, OldHandleKill *kill)
{
    DWORD processed = 0, total = 0;
    int racing = kill && cycle % RACE_EVERY == RACE_EVERY - 1;
    HANDLE job = INVALID_HANDLE_VALUE;

    if (racing && !PrepareOldHandleKill(kill, seed, plain, encoded, encodedSize)) return 0;
    job = cycle % 2 == 0
              ? StartEncodeJob(plain, PLAIN_BYTES, encoded, encodedSize, CountCompletion, cycle)
              : StartDecodeJob(text, decoded, PLAIN_BYTES, CountCompletion, cycle);
    if (racing) {
        CHECK(WaitForSingleObject(kill->done, WAIT_MS) == WAIT_OBJECT_0);
        CloseHandle(kill->job);
        if (job != INVALID_HANDLE_VALUE && GetThreadId(job) == kill->threadId) ++racesOnOldThread;
        else ++racesOnNewThread;
    }
    if (!CHECK(job != INVALID_HANDLE_VALUE)) return 0;
    // A job the old handle has already ended answers no query.
    if (cycle % 3 == 0 && !racing)
        CHECK(cycle % 2 == 0 ? QueryEncodeProgress(job, &processed, &total)
                             : QueryDecodeProgress(job, &processed, &total));
    Sleep(NextRandom(seed) % 6);
    TerminateThread(job, 0);
    if (!CHECK(WaitForSingleObject(job, WAIT_MS) == WAIT_OBJECT_0)) return 0;
    CloseHandle(job);
    return 1;
}

int main(void)
{
    BYTE *plain = (BYTE *)LocalAlloc(LMEM_FIXED, PLAIN_BYTES);
    DWORD encodedSize = EncodedSize(PLAIN_BYTES);
    char *encoded = (char *)LocalAlloc(LMEM_ZEROINIT, encodedSize);
    char *text = (char *)LocalAlloc(LMEM_ZEROINIT, encodedSize);
    char *expected = (char *)LocalAlloc(LMEM_ZEROINIT, encodedSize);
    BYTE *decoded = (BYTE *)LocalAlloc(LMEM_ZEROINIT, PLAIN_BYTES);
    DWORD seed = 2024, handlesBefore = 0, handlesAfter = 0, done = 0;
    SIZE_T privateBefore = 0, privateAfter = 0, platformCost = 0;
    DWORD started = 0;
    HANDLE job = INVALID_HANDLE_VALUE, killer = NULL;
    OldHandleKill kill;

    FillRandom(plain, PLAIN_BYTES, 5);
    CHECK(EncodeBuffer(plain, PLAIN_BYTES, text, encodedSize));
    memcpy(expected, text, encodedSize);

    memset(&kill, 0, sizeof(kill));
    kill.go = CreateEventA(NULL, FALSE, FALSE, NULL);
    kill.done = CreateEventA(NULL, FALSE, FALSE, NULL);
    if (kill.go && kill.done) killer = CreateThread(NULL, 0, KillThroughOldHandles, &kill, 0, NULL);
    CHECK(killer != NULL);

    // One kill first, so that whatever the system sets up once is in the baseline.
    KillOneJob(0, &seed, plain, encoded, encodedSize, text, decoded, NULL);
    KillOneJob(1, &seed, plain, encoded, encodedSize, text, decoded, NULL);
    platformCost = PlatformCostOfKills(&seed, CYCLES + RACES);
    handlesBefore = HandleCount();
    privateBefore = PrivateBytes();
    started = GetTickCount();
    for (DWORD cycle = 0; cycle < CYCLES; ++cycle) {
        if (!KillOneJob(cycle, &seed, plain, encoded, encodedSize, text, decoded,
                        killer ? &kill : NULL))
            break;
        ++done;
        if (done % 50 == 0) {
            printf("  %lu cycles\n", (unsigned long)done);
            fflush(stdout);
        }
    }
    handlesAfter = HandleCount();
    privateAfter = PrivateBytes();
    printf("%lu cycles in %lu ms, %ld completions ran; handles %lu -> %lu; private bytes %lu -> %lu\n",
           (unsigned long)done, (unsigned long)(GetTickCount() - started), (long)completionCalls,
           (unsigned long)handlesBefore, (unsigned long)handlesAfter,
           (unsigned long)privateBefore, (unsigned long)privateAfter);
    printf("%lu kills through an old handle raced a start: the job then ran on a new thread "
           "%lu times, on the old one %lu times\n", (unsigned long)RACES,
           (unsigned long)racesOnNewThread, (unsigned long)racesOnOldThread);
    CHECK(done == CYCLES);
    CHECK(racesOnNewThread + racesOnOldThread == RACES);   // every race was run
    CHECK(handlesAfter <= handlesBefore);
    printf("as many kills (%lu) of bare threads kept %lu bytes\n",
           (unsigned long)(CYCLES + RACES), (unsigned long)platformCost);
    CHECK(privateAfter <= privateBefore + platformCost + PRIVATE_GROWTH_LIMIT);

    if (killer) {
        kill.job = NULL;
        SetEvent(kill.go);
        CHECK(WaitForSingleObject(killer, WAIT_MS) == WAIT_OBJECT_0);
        CloseHandle(killer);
    }
    if (kill.go) CloseHandle(kill.go);
    if (kill.done) CloseHandle(kill.done);
    CheckHeapServesThreads();

    // Slots of killed jobs came back: full jobs still start and give exact output.
    completionCalls = 0;
    memset(encoded, 0, encodedSize);
    job = StartEncodeJob(plain, PLAIN_BYTES, encoded, encodedSize, CountCompletion, 0);
    if (CHECK(job != INVALID_HANDLE_VALUE)) {
        CHECK(AwaitCompletions(1));
        CloseHandle(job);
        CHECK(memcmp(encoded, expected, encodedSize) == 0);
    }
    job = StartDecodeJob(text, decoded, PLAIN_BYTES, CountCompletion, 0);
    if (CHECK(job != INVALID_HANDLE_VALUE)) {
        CHECK(AwaitCompletions(2));
        CloseHandle(job);
        CHECK(memcmp(decoded, plain, PLAIN_BYTES) == 0);
    }
    CHECK(completionCalls == 2);

    LocalFree(plain);
    LocalFree(encoded);
    LocalFree(text);
    LocalFree(expected);
    LocalFree(decoded);
    return CheckSummary("kill_stress_test");
}
