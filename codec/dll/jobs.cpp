// codec/dll/jobs.cpp -- background jobs (ordinals 11, 13, 15, 16): a fixed table of job
// slots, one worker thread per job, the progress it publishes, and the completion call.
// The caller may kill a worker at any instant, so a worker owns nothing that needs
// releasing: its slot lives in static data and is reclaimed once its thread has ended.
// A worker never ends by returning: a thread killed while it runs the system's own
// thread-exit code can leave a process-wide lock held (seen under Wine: every later
// CreateThread hung). After its completion call it parks, and the next start ends it.
#include "codec/codrix.h"
#include "codec/core/base64.h"
#include "codec/dll/jobs.h"
#include "codec/dll/pacing.h"

// A slot moves FREE -> CLAIMED (a start fills it) -> STARTING (queryable; the start
// waits for the worker) -> ACTIVE (queryable and reclaimable) -> CHECKING (a start looks
// whether its thread has ended) -> FREE or back to ACTIVE. Every move is one
// interlocked exchange, so no lock is ever held that a killed thread could keep.
enum SlotState { SLOT_FREE, SLOT_CLAIMED, SLOT_STARTING, SLOT_ACTIVE, SLOT_CHECKING };

// Far more than the program's one job at a time; a slot comes back as soon as its
// thread has ended, killed or not.
static const DWORD MAX_JOBS = 64;
// A killed thread's stack may stay reserved for a while; a small reservation keeps many
// cancelled jobs from exhausting a 32-bit address space. The worker uses little stack.
static const SIZE_T WORKER_STACK_BYTES = 64 * 1024;

struct JobSlot {
    volatile LONG state;
    volatile LONG generation;   // bumped whenever the slot changes hands, so a query
                                // can tell it read a slot that was reused meanwhile
    DWORD threadId;
    HANDLE watch;               // our own handle on the worker: it keeps the thread id
                                // from being reused and tells a start when it ended
    HANDLE callerHandle;        // the handle the start returns, passed to the completion
    HANDLE started;             // set by the worker once it runs our code
    volatile LONG abandon;      // the start failed after creating the thread: leave
    volatile LONG parked;       // the job is over; the worker waits to be ended
    int isEncoding;
    const BYTE *input;          // encoding: the bytes; decoding: the text
    DWORD length;               // input bytes or text characters
    BYTE *output;
    DWORD outputSize;
    CodrixCompletion completion;
    DWORD userValue;
    volatile LONG processed;
    volatile LONG total;
};

static JobSlot jobSlots[MAX_JOBS];

static LONG ReadShared(volatile LONG *value)
{
    return InterlockedCompareExchange(value, 0, 0);   // a read with a full barrier
}

// Frees every ACTIVE slot whose worker has ended. The CHECKING state keeps a racing
// start from closing the same watch handle while this one waits on it.
static void ReclaimEndedJobs(void)
{
    for (DWORD i = 0; i < MAX_JOBS; ++i) {
        JobSlot *slot = &jobSlots[i];
        if (InterlockedCompareExchange(&slot->state, SLOT_CHECKING, SLOT_ACTIVE) != SLOT_ACTIVE)
            continue;
        if (ReadShared(&slot->parked) && WaitForSingleObject(slot->watch, 0) == WAIT_TIMEOUT) {
            // Parked in an endless sleep: it holds nothing, so ending it here is safe.
            TerminateThread(slot->watch, 0);
            WaitForSingleObject(slot->watch, INFINITE);
        }
        if (WaitForSingleObject(slot->watch, 0) == WAIT_OBJECT_0) {
            InterlockedIncrement(&slot->generation);
            CloseHandle(slot->watch);
            slot->watch = NULL;
            slot->threadId = 0;
            InterlockedExchange(&slot->state, SLOT_FREE);
        } else {
            InterlockedExchange(&slot->state, SLOT_ACTIVE);
        }
    }
}

static JobSlot *ClaimSlot(void)
{
    ReclaimEndedJobs();
    for (DWORD i = 0; i < MAX_JOBS; ++i) {
        JobSlot *slot = &jobSlots[i];
        if (InterlockedCompareExchange(&slot->state, SLOT_CLAIMED, SLOT_FREE) == SLOT_FREE) {
            InterlockedIncrement(&slot->generation);
            return slot;
        }
    }
    return NULL;
}

// The worker's steps. From the moment the start returns until the completion call the
// caller may kill this thread, so these touch only the slot, the caller's buffers and
// the core: no heap, no locks.
static int EncodeInSteps(JobSlot *slot)
{
    const BYTE *input = slot->input;
    DWORD length = slot->length;
    char *output = (char *)slot->output;
    DWORD step = EncodeChunkBytes();
    DWORD done = 0;

    // At least one round even for no input, so the pacing always has its say.
    do {
        DWORD piece = length - done < step ? length - done : step;
        Base64EncodePiece(input + done, piece, output + done / 3 * 4);   // done is a multiple of 3
        done += piece;
        InterlockedExchange(&slot->processed, (LONG)done);
        if (!ContinueAfterChunk(done, length)) return 0;
    } while (done < length);
    output[Base64EncodedSize(length) - 1] = '\0';
    return 1;
}

static int DecodeInSteps(JobSlot *slot)
{
    const char *text = (const char *)slot->input;
    DWORD length = slot->length;
    DWORD step = DecodeChunkChars();
    DWORD done = 0;
    Base64Decoder decoder;

    Base64DecodeBegin(&decoder, slot->output, slot->outputSize);
    do {
        DWORD piece = length - done < step ? length - done : step;
        if (!Base64DecodeFeed(&decoder, text + done, piece)) return 0;
        done += piece;
        InterlockedExchange(&slot->processed, (LONG)done);
        if (!ContinueAfterChunk(done, length)) return 0;
    } while (done < length);
    return Base64DecodeFinish(&decoder) ? 1 : 0;
}

static DWORD WINAPI JobWorker(LPVOID parameter)
{
    JobSlot *slot = (JobSlot *)parameter;
    int success = 0;

    if (slot->abandon) return 1;
    SetEvent(slot->started);   // the start closes the event; it is not touched again
    success = slot->isEncoding ? EncodeInSteps(slot) : DecodeInSteps(slot);
    // The slot stays ours until this thread has ended, so reading it here is safe even
    // when the completion has already closed the caller's handle.
    if (slot->completion) slot->completion(slot->callerHandle, success, slot->userValue);
    InterlockedExchange(&slot->parked, 1);
    for (;;) Sleep(INFINITE);
}

// Starts a worker on a claimed slot and returns only once the worker runs our code, so
// that a kill right after the start cannot catch the thread inside its start-up.
static HANDLE StartJob(int isEncoding, const BYTE *input, DWORD length, BYTE *output,
                       DWORD outputSize, CodrixCompletion completion, DWORD userValue)
{
    JobSlot *slot = NULL;
    HANDLE started = NULL;
    HANDLE thread = NULL;
    HANDLE watch = NULL;
    HANDLE waits[2];
    DWORD threadId = 0;
    HANDLE result = INVALID_HANDLE_VALUE;

    slot = ClaimSlot();
    if (!slot) goto done;
    started = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (!started) goto done;
    slot->isEncoding = isEncoding;
    slot->input = input;
    slot->length = length;
    slot->output = output;
    slot->outputSize = outputSize;
    slot->completion = completion;
    slot->userValue = userValue;
    slot->started = started;
    slot->abandon = 0;
    InterlockedExchange(&slot->parked, 0);
    InterlockedExchange(&slot->processed, 0);
    InterlockedExchange(&slot->total, (LONG)length);

    // Suspended, so the slot holds the caller's handle before the worker can reach
    // its completion call.
    thread = CreateThread(NULL, WORKER_STACK_BYTES, JobWorker, slot,
                          CREATE_SUSPENDED | STACK_SIZE_PARAM_IS_A_RESERVATION, &threadId);
    if (!thread) goto done;
    if (!DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &watch,
                         SYNCHRONIZE | THREAD_TERMINATE, FALSE, 0)) {
        // Without our own handle the slot could never be reclaimed safely. The worker
        // has not run yet; let it leave at once rather than kill it in its start-up.
        watch = NULL;
        slot->abandon = 1;
        if (ResumeThread(thread) != (DWORD)-1) WaitForSingleObject(thread, INFINITE);
        goto done;
    }
    slot->threadId = threadId;
    slot->watch = watch;
    slot->callerHandle = thread;
    InterlockedExchange(&slot->state, SLOT_STARTING);
    if (ResumeThread(thread) == (DWORD)-1) {
        InterlockedExchange(&slot->state, SLOT_CLAIMED);
        TerminateThread(thread, 1);   // it never ran, and nobody else has its handle
        WaitForSingleObject(thread, INFINITE);
        goto done;
    }

    // Our watch, not `thread`: the job may end and its completion close the caller's
    // handle before this wait returns.
    waits[0] = started;
    waits[1] = watch;
    WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    InterlockedExchange(&slot->state, SLOT_ACTIVE);
    result = thread;   // the caller owns it from here and may already have closed it
    thread = NULL;
    slot = NULL;       // reclaimed by a later start once the worker has ended
done:
    if (slot) {
        if (slot->watch) CloseHandle(slot->watch);
        slot->watch = NULL;
        slot->threadId = 0;
        InterlockedIncrement(&slot->generation);
        InterlockedExchange(&slot->state, SLOT_FREE);
    }
    if (thread) CloseHandle(thread);
    if (started) CloseHandle(started);
    return result;
}

static int QueryJob(HANDLE job, int isEncoding, DWORD *processed, DWORD *total)
{
    DWORD threadId = 0;

    if (!processed || !total || job == NULL || job == INVALID_HANDLE_VALUE) return 0;
    // By thread id, not handle value: the caller's handle may be a duplicate, and handle
    // values are reused. Our watch handle keeps a job's id from going to another thread.
    threadId = GetThreadId(job);
    if (threadId == 0) return 0;
    for (DWORD i = 0; i < MAX_JOBS; ++i) {
        JobSlot *slot = &jobSlots[i];
        LONG generation = ReadShared(&slot->generation);
        LONG state = ReadShared(&slot->state);
        LONG done = 0, all = 0;
        if (state != SLOT_STARTING && state != SLOT_ACTIVE && state != SLOT_CHECKING) continue;
        if (slot->threadId != threadId || slot->isEncoding != isEncoding) continue;
        done = ReadShared(&slot->processed);
        all = ReadShared(&slot->total);
        if (ReadShared(&slot->generation) != generation) continue;   // reused meanwhile
        *processed = (DWORD)done;
        *total = (DWORD)all;
        return 1;
    }
    return 0;
}

HANDLE WINAPI StartEncodeJob(const BYTE *input, DWORD length, char *output, DWORD outputSize,
                             CodrixCompletion completion, DWORD userValue)
{
    DWORD needed = Base64EncodedSize(length);
    if (!input || !output) return INVALID_HANDLE_VALUE;
    if (needed == 0 || outputSize < needed) return INVALID_HANDLE_VALUE;
    return StartJob(1, input, length, (BYTE *)output, outputSize, completion, userValue);
}

HANDLE WINAPI StartDecodeJob(const char *text, BYTE *output, DWORD outputSize,
                             CodrixCompletion completion, DWORD userValue)
{
    uint32_t length = 0, measured = 0;
    if (!text || !output) return INVALID_HANDLE_VALUE;
    // The length and the measure in one pass, as the caller waits for it; it fails for a
    // text of 4 GiB and more, which only a 64-bit caller can have.
    if (!Base64MeasureTextAndLength(text, &length, &measured)) return INVALID_HANDLE_VALUE;
    // Every decodable text has exactly this size, so a smaller output can never succeed.
    if (outputSize < Base64DecodedSize(length, measured)) return INVALID_HANDLE_VALUE;
    return StartJob(0, (const BYTE *)text, length, output, outputSize, completion, userValue);
}

int WINAPI QueryEncodeProgress(HANDLE job, DWORD *processed, DWORD *total)
{
    return QueryJob(job, 1, processed, total);
}

int WINAPI QueryDecodeProgress(HANDLE job, DWORD *processed, DWORD *total)
{
    return QueryJob(job, 0, processed, total);
}

void ReleaseJobSlots(void)
{
    for (DWORD i = 0; i < MAX_JOBS; ++i) {
        // A parked worker sleeps in this library's code, which is about to go away.
        if (jobSlots[i].watch && ReadShared(&jobSlots[i].parked)) {
            TerminateThread(jobSlots[i].watch, 0);
            WaitForSingleObject(jobSlots[i].watch, INFINITE);
        }
        if (jobSlots[i].watch) CloseHandle(jobSlots[i].watch);
        jobSlots[i].watch = NULL;
        jobSlots[i].state = SLOT_FREE;
    }
}
