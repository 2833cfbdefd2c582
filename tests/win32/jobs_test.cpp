// tests/win32/jobs_test.cpp -- background jobs of one build of Codrix.dll, loaded from the
// path given on the command line and bound by ordinal: refused starts, unknown handles,
// monotone progress, one completion with the right verdict, text operations running
// beside a job, a finished job's thread taking the next job, and 3,000 jobs in a row
// without growth in memory or handles.
// Usage: jobs_test <path of Codrix.dll> shipped|paced|failing
#include "codec/codrix.h"
#include "tests/win32/check.h"

static decltype(&EncodedSize) encodedSize;
static decltype(&DecodedSize) decodedSize;
static decltype(&MeasureText) measureText;
static decltype(&EncodeBuffer) encodeBuffer;
static decltype(&DecodeText) decodeText;
static decltype(&StartEncodeJob) startEncodeJob;
static decltype(&StartDecodeJob) startDecodeJob;
static decltype(&QueryEncodeProgress) queryEncodeProgress;
static decltype(&QueryDecodeProgress) queryDecodeProgress;

static const DWORD JOB_WAIT_MS = 120000;

static int LoadLibraryByOrdinal(const char *path)
{
    char windowsPath[MAX_PATH];
    HMODULE library = NULL;
    // ctest hands over a Unix path; under Wine drive Z: is the Unix root.
    if (path[0] == '/') {
        snprintf(windowsPath, sizeof(windowsPath), "Z:%s", path);
        for (char *c = windowsPath; *c; ++c)
            if (*c == '/') *c = '\\';
        path = windowsPath;
    }
    library = LoadLibraryA(path);
    if (!library) return 0;
#define BIND(name, ordinal) name = (decltype(name))(void *)GetProcAddress(library, MAKEINTRESOURCEA(ordinal))
    BIND(encodedSize, 1);
    BIND(decodedSize, 2);
    BIND(measureText, 3);
    BIND(encodeBuffer, 7);
    BIND(decodeText, 9);
    BIND(startEncodeJob, 11);
    BIND(startDecodeJob, 13);
    BIND(queryEncodeProgress, 15);
    BIND(queryDecodeProgress, 16);
#undef BIND
    return encodedSize && decodedSize && measureText && encodeBuffer && decodeText &&
           startEncodeJob && startDecodeJob && queryEncodeProgress && queryDecodeProgress;
}

// What the completion routine saw, per job, indexed by the user value.
struct Completion {
    volatile LONG calls;
    HANDLE job;
    int success;
    DWORD threadId;
};
static Completion completions[16];

static void WINAPI RecordCompletion(HANDLE job, int success, DWORD userValue)
{
    Completion *c = &completions[userValue];
    c->job = job;
    c->success = success;
    c->threadId = GetCurrentThreadId();
    InterlockedIncrement(&c->calls);
}

// A job is over once its completion has run; its thread stays parked until the next
// start ends it. Returns 1 when the completion came within the time-out.
static int AwaitCompletion(DWORD index)
{
    DWORD started = GetTickCount();
    while (completions[index].calls == 0) {
        if (GetTickCount() - started > JOB_WAIT_MS) return 0;
        Sleep(1);
    }
    return 1;
}

// Base64 of `length` random bytes with CR LF every 76 characters, as a mailer writes it;
// a new LocalAlloc block the caller frees.
static char *NewWrappedText(DWORD length, DWORD seed, DWORD *textLength)
{
    BYTE *plain = (BYTE *)LocalAlloc(LMEM_FIXED, length + 1);
    DWORD size = encodedSize(length);
    char *flat = (char *)LocalAlloc(LMEM_FIXED, size);
    char *text = (char *)LocalAlloc(LMEM_FIXED, size + size / 76 * 2 + 1);
    DWORD at = 0;
    FillRandom(plain, length, seed);
    encodeBuffer(plain, length, flat, size);
    for (DWORD i = 0; i + 1 < size; ++i) {
        text[at++] = flat[i];
        if (i % 76 == 75) {
            text[at++] = '\r';
            text[at++] = '\n';
        }
    }
    text[at] = '\0';
    *textLength = at;
    LocalFree(plain);
    LocalFree(flat);
    return text;
}

// Starts that must be refused leave the output alone.
static void CheckRefusedStarts(void)
{
    BYTE input[6] = {'f', 'o', 'o', 'b', 'a', 'r'};
    BYTE out[32];
    memset(out, GUARD_BYTE, sizeof(out));
    CHECK(startEncodeJob(NULL, 6, (char *)out, 9, RecordCompletion, 0) == INVALID_HANDLE_VALUE);
    CHECK(startEncodeJob(input, 6, NULL, 9, RecordCompletion, 0) == INVALID_HANDLE_VALUE);
    CHECK(startEncodeJob(input, 6, (char *)out, 8, RecordCompletion, 0) == INVALID_HANDLE_VALUE);
    CHECK(startEncodeJob(input, 0xFFFFFFFFu, (char *)out, 0xFFFFFFFFu, RecordCompletion, 0) ==
          INVALID_HANDLE_VALUE);
    CHECK(startDecodeJob(NULL, out, 6, RecordCompletion, 0) == INVALID_HANDLE_VALUE);
    CHECK(startDecodeJob("Zm9vYmFy", NULL, 6, RecordCompletion, 0) == INVALID_HANDLE_VALUE);
    CHECK(startDecodeJob("Zm9vYmFy", out, 5, RecordCompletion, 0) == INVALID_HANDLE_VALUE);
    CHECK(startDecodeJob("Zm9v\r\nYmFy", out, 5, RecordCompletion, 0) == INVALID_HANDLE_VALUE);
    CHECK(Untouched(out, sizeof(out)));
    CHECK(completions[0].calls == 0);
}

static DWORD WINAPI IdleThread(LPVOID stop)
{
    WaitForSingleObject((HANDLE)stop, INFINITE);
    return 0;
}

// Handles that are not jobs of the library, or not of the kind asked, give 0 and store
// nothing.
static void CheckUnknownHandles(void)
{
    DWORD processed = 7, total = 7;
    HANDLE stop = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE other = CreateThread(NULL, 0, IdleThread, stop, 0, NULL);
    HANDLE handles[] = {NULL, INVALID_HANDLE_VALUE, GetCurrentThread(), other, stop};
    for (HANDLE h : handles) {
        CHECK(!queryEncodeProgress(h, &processed, &total));
        CHECK(!queryDecodeProgress(h, &processed, &total));
    }
    CHECK(processed == 7 && total == 7);
    SetEvent(stop);
    WaitForSingleObject(other, JOB_WAIT_MS);
    CloseHandle(other);
    CloseHandle(stop);
}

struct JobCase {
    const char *name;
    int encoding;
    DWORD plainLength;
    int corrupt;          // decoding: a '*' in the middle of the text
    int extraOutput;      // bytes more than the exact size
    int succeeds;         // in the shipped and paced builds
};

// The exact output is compared with what the text operations give for the same input.
static void RunJobCase(const JobCase &c, DWORD index, int failingBuild, int pacedBuild)
{
    BYTE *plain = NULL, *output = NULL, *expected = NULL;
    char *text = NULL;
    DWORD textLength = 0, outputSize = 0, total = 0, samples = 0, distinct = 0;
    DWORD processed = 0, seen = 0, last = 0, lastTotal = 0;
    int expectSuccess = c.succeeds && !failingBuild;
    int orderly = 1, queried = 0;
    HANDLE job = INVALID_HANDLE_VALUE;

    printf("job case %s\n", c.name);
    if (c.encoding) {
        plain = (BYTE *)LocalAlloc(LMEM_FIXED, c.plainLength + 1);
        FillRandom(plain, c.plainLength, index + 1);
        outputSize = encodedSize(c.plainLength) + c.extraOutput;
        expected = (BYTE *)LocalAlloc(LMEM_ZEROINIT, outputSize);
        encodeBuffer(plain, c.plainLength, (char *)expected, outputSize);
        total = c.plainLength;
    } else {
        text = NewWrappedText(c.plainLength, index + 1, &textLength);
        if (c.corrupt) text[textLength / 2] = '*';
        outputSize = decodedSize(textLength, measureText(text)) + c.extraOutput;
        expected = (BYTE *)LocalAlloc(LMEM_ZEROINIT, outputSize + 1);
        decodeText(text, expected, outputSize);
        total = textLength;
    }
    output = NewGuarded(outputSize);
    job = c.encoding
              ? startEncodeJob(plain, c.plainLength, (char *)output, outputSize, RecordCompletion, index)
              : startDecodeJob(text, output, outputSize, RecordCompletion, index);
    if (!CHECK(job != INVALID_HANDLE_VALUE)) goto done;

    // Poll as fast as possible until the job ends; every answer must make sense.
    while (completions[index].calls == 0) {
        int ok = c.encoding ? queryEncodeProgress(job, &processed, &seen)
                            : queryDecodeProgress(job, &processed, &seen);
        if (!ok) continue;
        queried = 1;
        ++samples;
        if (processed < last || processed > seen || seen != total) orderly = 0;
        if (processed != last || samples == 1) ++distinct;
        last = processed;
        if (pacedBuild) Sleep(1);
    }
    CHECK(orderly);
    // Still answered after the end, until a later start reclaims the slot.
    CHECK(c.encoding ? queryEncodeProgress(job, &processed, &lastTotal)
                     : queryDecodeProgress(job, &processed, &lastTotal));
    CHECK(lastTotal == total && processed >= last);
    CHECK(c.encoding ? !queryDecodeProgress(job, &processed, &lastTotal)
                     : !queryEncodeProgress(job, &processed, &lastTotal));
    if (expectSuccess) CHECK(processed == total);
    if (failingBuild && total > 1000000) CHECK(processed > 0 && processed < total);
    if (pacedBuild && total > 1000000) CHECK(queried && distinct >= 3);

    CHECK(completions[index].calls == 1);
    CHECK(completions[index].job == job);
    CHECK(completions[index].threadId == GetThreadId(job));
    CHECK(completions[index].success == expectSuccess);
    // An encoding leaves any room past its NUL alone, as EncodeBuffer does.
    if (expectSuccess)
        CHECK(memcmp(output, expected, c.encoding ? encodedSize(c.plainLength) : outputSize) == 0);
    CHECK(Untouched(output + outputSize, GUARD_BYTES));
    if (c.encoding) CHECK(Untouched(output + encodedSize(c.plainLength), c.extraOutput));
    printf("  %lu samples, %lu distinct, success %d\n", (unsigned long)samples,
           (unsigned long)distinct, completions[index].success);
done:
    if (job != INVALID_HANDLE_VALUE) CloseHandle(job);
    if (plain) LocalFree(plain);
    if (text) LocalFree(text);
    if (output) LocalFree(output);
    if (expected) LocalFree(expected);
}

// Hammers the text operations on this thread and compares with answers worked out
// before; the job must not disturb them nor they the job.
struct Hammer {
    BYTE plain[1000];
    char text[1400];
    volatile LONG rounds;
    volatile LONG mismatches;
    volatile LONG stop;
};

static DWORD WINAPI HammerTextOperations(LPVOID parameter)
{
    Hammer *h = (Hammer *)parameter;
    char text[1400];
    BYTE plain[1000];
    while (!h->stop) {
        DWORD length = (DWORD)h->rounds % sizeof(plain) + 1;
        DWORD size = encodedSize(length);
        // A prefix's text matches the whole text up to its last, possibly padded, group.
        if (!encodeBuffer(h->plain, length, text, size) ||
            memcmp(text, h->text, length / 3 * 4) != 0 || text[size - 1] != '\0')
            InterlockedIncrement(&h->mismatches);
        if (length % 3 == 0 &&
            (!decodeText(text, plain, length) || memcmp(plain, h->plain, length) != 0))
            InterlockedIncrement(&h->mismatches);
        InterlockedIncrement(&h->rounds);
    }
    return 0;
}

static void CheckTextBesideJob(int encoding, DWORD plainLength, int failingBuild)
{
    Hammer hammer;
    HANDLE helper = NULL, job = INVALID_HANDLE_VALUE;
    BYTE *plain = (BYTE *)LocalAlloc(LMEM_FIXED, plainLength);
    DWORD textLength = 0;
    char *text = NULL;
    BYTE *output = NULL, *expected = NULL;
    DWORD outputSize = 0;
    const DWORD index = 15;

    printf("text beside %s job\n", encoding ? "encoding" : "decoding");
    memset(&hammer, 0, sizeof(hammer));
    FillRandom(hammer.plain, sizeof(hammer.plain), 99);
    encodeBuffer(hammer.plain, sizeof(hammer.plain), hammer.text, sizeof(hammer.text));
    FillRandom(plain, plainLength, 7);
    if (encoding) {
        outputSize = encodedSize(plainLength);
    } else {
        text = NewWrappedText(plainLength, 7, &textLength);
        outputSize = plainLength;
    }
    output = NewGuarded(outputSize);
    expected = (BYTE *)LocalAlloc(LMEM_ZEROINIT, outputSize);
    if (encoding) encodeBuffer(plain, plainLength, (char *)expected, outputSize);
    else memcpy(expected, plain, plainLength);
    completions[index].calls = 0;

    helper = CreateThread(NULL, 0, HammerTextOperations, &hammer, 0, NULL);
    // The job starts once the helper runs: on a busy machine a short job could otherwise end
    // before the helper was first scheduled, and nothing would have run beside it.
    for (DWORD started = GetTickCount(); hammer.rounds == 0 && GetTickCount() - started < JOB_WAIT_MS;)
        Sleep(1);
    job = encoding ? startEncodeJob(plain, plainLength, (char *)output, outputSize, RecordCompletion, index)
                   : startDecodeJob(text, output, outputSize, RecordCompletion, index);
    if (CHECK(job != INVALID_HANDLE_VALUE)) {
        LONG roundsAtStart = hammer.rounds;
        // This thread joins in while the job runs.
        while (completions[index].calls == 0) {
            BYTE small[3];
            if (!decodeText("Zm9v", small, 3) || memcmp(small, "foo", 3) != 0)
                InterlockedIncrement(&hammer.mismatches);
        }
        printf("  %ld text rounds during the job\n", (long)(hammer.rounds - roundsAtStart));
        CloseHandle(job);
        CHECK(completions[index].calls == 1);
        CHECK(completions[index].success == !failingBuild);
        if (!failingBuild) CHECK(memcmp(output, expected, outputSize) == 0);
        CHECK(Untouched(output + outputSize, GUARD_BYTES));
    }
    hammer.stop = 1;
    WaitForSingleObject(helper, JOB_WAIT_MS);
    CloseHandle(helper);
    CHECK(hammer.rounds > 0);
    CHECK(hammer.mismatches == 0);
    LocalFree(plain);
    if (text) LocalFree(text);
    LocalFree(output);
    LocalFree(expected);
}

// A finished job's thread does not run its own exit (a kill there could leave a system
// lock held): it parks, and the next start hands it the new job under a new handle, so
// queries through the old handle stop. A kill of a parked worker is harmless, and the
// next start then runs its job on a new thread.
static void CheckFinishedWorkerTakesNextJob(int failingBuild)
{
    BYTE plain[30] = {0};
    char text[64], expected[64];
    const DWORD index = 14;
    DWORD processed = 0, total = 0;
    HANDLE first = INVALID_HANDLE_VALUE, second = INVALID_HANDLE_VALUE;
    HANDLE third = INVALID_HANDLE_VALUE;

    printf("finished worker takes the next job\n");
    encodeBuffer(plain, sizeof(plain), expected, sizeof(expected));
    completions[index].calls = 0;
    first = startEncodeJob(plain, sizeof(plain), text, sizeof(text), RecordCompletion, index);
    if (!CHECK(first != INVALID_HANDLE_VALUE)) return;
    CHECK(AwaitCompletion(index));
    CHECK(WaitForSingleObject(first, 200) == WAIT_TIMEOUT);
    completions[index].calls = 0;
    second = startEncodeJob(plain, sizeof(plain), text, sizeof(text), RecordCompletion, index);
    if (CHECK(second != INVALID_HANDLE_VALUE)) {
        CHECK(second != first && GetThreadId(second) == GetThreadId(first));
        CHECK(!queryEncodeProgress(first, &processed, &total));
        CHECK(AwaitCompletion(index));
        CHECK(completions[index].job == second && completions[index].success == !failingBuild);
        CHECK(queryEncodeProgress(second, &processed, &total) && total == sizeof(plain));
        CHECK(WaitForSingleObject(first, 200) == WAIT_TIMEOUT);
        TerminateThread(second, 0);
        CHECK(WaitForSingleObject(second, JOB_WAIT_MS) == WAIT_OBJECT_0);
        CloseHandle(second);
    }
    CloseHandle(first);
    completions[index].calls = 0;
    memset(text, 0, sizeof(text));
    third = startEncodeJob(plain, sizeof(plain), text, sizeof(text), RecordCompletion, index);
    if (CHECK(third != INVALID_HANDLE_VALUE)) {
        CHECK(AwaitCompletion(index));
        CHECK(completions[index].job == third && completions[index].success == !failingBuild);
        if (!failingBuild) CHECK(strcmp(text, expected) == 0);
        CloseHandle(third);
    }
}

// Jobs one after another, each waited for and closed, never killed, as a long-running
// program makes them: neither handles nor memory may grow with their number. (A thread
// killed under Wine keeps 1-2 MB of address space, which would show here at once.)
static void CheckManyJobsInSequence(void)
{
    const DWORD JOBS = 3000, WARM_UP_JOBS = 20;
    const SIZE_T GROWTH_LIMIT = 8 * 1024 * 1024;
    const DWORD index = 13;
    BYTE plain[3000], back[3000];
    char text[4001], expected[4001];
    DWORD done = 0, handlesBefore = 0, handlesAfter = 0;
    SIZE_T privateBefore = 0, privateAfter = 0, spaceBefore = 0, spaceAfter = 0;

    printf("%lu jobs in sequence\n", (unsigned long)JOBS);
    FillRandom(plain, sizeof(plain), 3);
    encodeBuffer(plain, sizeof(plain), expected, sizeof(expected));
    for (DWORD job = 0; job < JOBS; ++job) {
        int encoding = job % 2 == 0;
        HANDLE handle = INVALID_HANDLE_VALUE;
        if (job == WARM_UP_JOBS) {
            handlesBefore = HandleCount();
            privateBefore = PrivateBytes();
            spaceBefore = MemoryInUse(0);
        }
        memset(text, 0, sizeof(text));
        memset(back, 0, sizeof(back));
        completions[index].calls = 0;
        handle = encoding ? startEncodeJob(plain, sizeof(plain), text, sizeof(text),
                                           RecordCompletion, index)
                          : startDecodeJob(expected, back, sizeof(back), RecordCompletion, index);
        if (!CHECK(handle != INVALID_HANDLE_VALUE)) break;
        if (!CHECK(AwaitCompletion(index))) {
            printf("  job %lu never completed\n", (unsigned long)job);
            break;   // its handle stays open: the job may still use our buffers
        }
        CloseHandle(handle);
        if (!CHECK(completions[index].calls == 1 && completions[index].success))
            break;
        if (!CHECK(encoding ? strcmp(text, expected) == 0
                                             : memcmp(back, plain, sizeof(plain)) == 0))
            break;
        ++done;
    }
    handlesAfter = HandleCount();
    privateAfter = PrivateBytes();
    spaceAfter = MemoryInUse(0);
    printf("  %lu jobs; after the first %lu: handles %lu -> %lu, private bytes %lu -> %lu, "
           "address space in use %lu -> %lu\n",
           (unsigned long)done, (unsigned long)WARM_UP_JOBS, (unsigned long)handlesBefore,
           (unsigned long)handlesAfter, (unsigned long)privateBefore,
           (unsigned long)privateAfter, (unsigned long)spaceBefore, (unsigned long)spaceAfter);
    CHECK(done == JOBS);
    CHECK(handlesAfter <= handlesBefore);
    CHECK(privateAfter <= privateBefore + GROWTH_LIMIT);
    CHECK(spaceAfter <= spaceBefore + GROWTH_LIMIT);
}

int main(int argc, char **argv)
{
    int failingBuild = 0, pacedBuild = 0;
    DWORD big = 0;
    if (argc < 3) {
        printf("usage: jobs_test <path of Codrix.dll> shipped|paced|failing\n");
        return 2;
    }
    failingBuild = strcmp(argv[2], "failing") == 0;
    pacedBuild = strcmp(argv[2], "paced") == 0;
    if (!CHECK(LoadLibraryByOrdinal(argv[1]))) return CheckSummary("jobs_test");
    // Big enough that the shipped build takes a while, small enough for the slow ones.
    big = pacedBuild || failingBuild ? 1536 * 1024 : 16 * 1024 * 1024;

    const JobCase CASES[] = {
        {"encode", 1, big, 0, 0, 1},
        {"encode empty", 1, 0, 0, 0, 1},
        {"encode into a larger output", 1, 1000, 0, 5, 1},
        {"decode", 0, big, 0, 0, 1},
        {"decode short", 0, 100, 0, 0, 1},
        {"decode empty", 0, 0, 0, 1, 0},   // 0 bytes never fill an output of 1
        {"decode corrupt", 0, big, 1, 0, 0},
        {"decode into a larger output", 0, 4000, 0, 3, 0},
    };
    CheckRefusedStarts();
    CheckUnknownHandles();
    for (DWORD i = 0; i < sizeof(CASES) / sizeof(CASES[0]); ++i)
        RunJobCase(CASES[i], i, failingBuild, pacedBuild);
    CheckTextBesideJob(1, big, failingBuild);
    CheckTextBesideJob(0, big, failingBuild);
    CheckFinishedWorkerTakesNextJob(failingBuild);
    // The slower builds run the same thread hand-over, only at their pace.
    if (!pacedBuild && !failingBuild) CheckManyJobsInSequence();
    return CheckSummary("jobs_test");
}
