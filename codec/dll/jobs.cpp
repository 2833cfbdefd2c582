// codec/dll/jobs.cpp -- background jobs (ordinals 11, 13, 15, 16): a fixed table of job
// slots, one worker thread per slot, the progress it publishes, and the completion call.
// The caller may kill a worker at any instant, so a worker owns nothing that needs
// releasing: its slot lives in static data and is reclaimed once its thread has ended.
// A worker never ends by returning: a thread killed while it runs the system's own
// thread-exit code can leave a process-wide lock held (seen under Wine: every later
// CreateThread hung). After its completion call it parks, and the next start hands it
// the new job, so a job that ends by itself costs no kill; only a caller's cancel does.
#include "codec/codrix.h"
#include "codec/core/base64.h"
#include "codec/core/wrapper.h"
#include "codec/dll/jobs.h"
#include "codec/dll/pacing.h"

// A slot moves FREE -> CLAIMED (a start fills it) -> STARTING (queryable; the start
// waits for the worker) -> ACTIVE (queryable; the job runs, or is over and its worker
// parked) -> CHECKING (a start looks whether its thread has ended, or takes its parked
// worker) -> FREE, CLAIMED or back to ACTIVE. Every move is one interlocked exchange,
// so no lock is ever held that a killed thread could keep.
enum SlotState { SLOT_FREE, SLOT_CLAIMED, SLOT_STARTING, SLOT_ACTIVE, SLOT_CHECKING };

// Far more than the program's one job at a time; a slot comes back as soon as its
// thread has ended, killed or not, and a parked worker waits for the next job.
static const DWORD MAX_JOBS = 64;
// A killed thread's stack may stay reserved for a while; a small reservation keeps many
// cancelled jobs from exhausting a 32-bit address space. The worker uses little stack.
static const SIZE_T WORKER_STACK_BYTES = 64 * 1024;

struct JobSlot {
    volatile LONG state;
    volatile LONG generation;   // bumped before a start changes the slot and when it is
                                // freed, so a query can tell it read a slot meanwhile reused
    DWORD threadId;
    HANDLE thread;              // our own handle on the worker: it keeps the thread id
                                // from being reused, tells a start when it ended, and is
                                // the source of each job's caller handle
    HANDLE wake;                // set by a start once the slot holds a job for the worker
    HANDLE started;             // set by the worker once it runs that job
    HANDLE callerHandle;        // the handle the start returns, passed to the completion;
                                // with the thread id, the job's identity for queries
    volatile LONG abandon;      // the start failed after creating the thread: leave
    volatile LONG parked;       // the job is over; the worker waits for the next
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

static int HasEnded(HANDLE thread)
{
    return WaitForSingleObject(thread, 0) != WAIT_TIMEOUT;
}

// Closes our handles on a slot's worker, whose thread has ended.
static void ForgetWorker(JobSlot *slot)
{
    if (slot->thread) CloseHandle(slot->thread);
    slot->thread = NULL;
    if (slot->wake) CloseHandle(slot->wake);
    slot->wake = NULL;
    slot->threadId = 0;
}

static void FreeSlot(JobSlot *slot)
{
    InterlockedIncrement(&slot->generation);
    ForgetWorker(slot);
    slot->callerHandle = NULL;
    InterlockedExchange(&slot->state, SLOT_FREE);
}

// Frees every ACTIVE slot whose worker has ended (a caller killed it) and claims one
// whose worker is parked and alive, if any. The CHECKING state keeps a racing start from
// closing the same handles or taking the same worker. The parked worker can still be
// killed at any instant through its last job's handle; the start sees that.
static JobSlot *ClaimParkedWorker(void)
{
    JobSlot *taken = NULL;
    for (DWORD i = 0; i < MAX_JOBS; ++i) {
        JobSlot *slot = &jobSlots[i];
        if (InterlockedCompareExchange(&slot->state, SLOT_CHECKING, SLOT_ACTIVE) != SLOT_ACTIVE)
            continue;
        if (HasEnded(slot->thread)) {
            FreeSlot(slot);
        } else if (!taken && ReadShared(&slot->parked)) {
            InterlockedExchange(&slot->state, SLOT_CLAIMED);
            InterlockedIncrement(&slot->generation);
            taken = slot;
        } else {
            InterlockedExchange(&slot->state, SLOT_ACTIVE);
        }
    }
    return taken;
}

static JobSlot *ClaimFreeSlot(void)
{
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
    Base64TextDecoder decoder;

    // The whole-text decoder, so a job accepts the same wrappers as DecodeText.
    Base64TextDecodeBegin(&decoder, text, slot->output, slot->outputSize);
    do {
        DWORD piece = length - done < step ? length - done : step;
        if (!Base64TextDecodeFeed(&decoder, done, piece)) return 0;
        done += piece;
        InterlockedExchange(&slot->processed, (LONG)done);
        if (!ContinueAfterChunk(done, length)) return 0;
    } while (done < length);
    return Base64TextDecodeFinish(&decoder, length) ? 1 : 0;
}

static DWORD WINAPI JobWorker(LPVOID parameter)
{
    JobSlot *slot = (JobSlot *)parameter;
    int success = 0;

    for (;;) {
        // Parked: a wait is a safe place to be killed, and it holds nothing.
        WaitForSingleObject(slot->wake, INFINITE);
        if (slot->abandon) return 1;   // nobody else ever had this thread's handle
        SetEvent(slot->started);       // the start closes the event; it is not touched again
        success = slot->isEncoding ? EncodeInSteps(slot) : DecodeInSteps(slot);
        // The slot stays ours until a start sees the parked flag, so reading it here is
        // safe even when the completion has already closed the caller's handle.
        if (slot->completion) slot->completion(slot->callerHandle, success, slot->userValue);
        InterlockedExchange(&slot->parked, 1);
    }
}

// Gives a claimed slot a new worker thread, parked until a job is handed to it.
// Running at once rather than suspended: no thread is ever killed before it has begun
// running (in a 32-bit Wine process that takes the whole process down).
static int CreateWorker(JobSlot *slot)
{
    HANDLE thread = NULL;
    DWORD threadId = 0;
    int ok = 0;

    slot->wake = CreateEventA(NULL, FALSE, FALSE, NULL);
    if (!slot->wake) goto done;
    slot->abandon = 0;
    InterlockedExchange(&slot->parked, 0);
    thread = CreateThread(NULL, WORKER_STACK_BYTES, JobWorker, slot,
                          STACK_SIZE_PARAM_IS_A_RESERVATION, &threadId);
    if (!thread) goto done;
    slot->thread = thread;
    slot->threadId = threadId;
    ok = 1;
done:
    if (!ok && slot->wake) CloseHandle(slot->wake);
    if (!ok) slot->wake = NULL;
    return ok;
}

// Lets a worker that never had a job leave by itself, then frees its slot.
static void AbandonWorker(JobSlot *slot)
{
    slot->abandon = 1;
    SetEvent(slot->wake);
    WaitForSingleObject(slot->thread, INFINITE);
    FreeSlot(slot);
}

// Hands the job now in a claimed slot to the slot's worker, under a new caller handle,
// and returns it once the worker runs the job. INVALID_HANDLE_VALUE when the worker
// ended first (a caller killed it through an older handle, or it never took a job); the
// slot is then still claimed and holds no caller handle.
static HANDLE HandJobToWorker(JobSlot *slot)
{
    HANDLE caller = NULL;
    HANDLE started = NULL;
    HANDLE waits[2];
    HANDLE result = INVALID_HANDLE_VALUE;

    started = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (!started) goto done;
    if (!DuplicateHandle(GetCurrentProcess(), slot->thread, GetCurrentProcess(), &caller, 0,
                         FALSE, DUPLICATE_SAME_ACCESS)) {
        caller = NULL;
        goto done;
    }
    slot->started = started;
    slot->callerHandle = caller;
    InterlockedExchange(&slot->parked, 0);
    InterlockedExchange(&slot->state, SLOT_STARTING);
    SetEvent(slot->wake);
    // Our handle, not `caller`: the job may end and its completion close the caller's
    // handle before this wait returns. The lowest signalled index wins, so the second
    // means the worker ended without starting this job.
    waits[0] = started;
    waits[1] = slot->thread;
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        InterlockedExchange(&slot->state, SLOT_CLAIMED);
        InterlockedIncrement(&slot->generation);
        slot->callerHandle = NULL;
        goto done;
    }
    InterlockedExchange(&slot->state, SLOT_ACTIVE);
    result = caller;   // the caller owns it from here and may already have closed it
    caller = NULL;
done:
    if (caller) CloseHandle(caller);
    if (started) CloseHandle(started);
    return result;
}

// Runs a job on a parked worker when one is alive, else on a new thread. Returns only
// once the worker runs the job, so that a kill right after the start cannot catch a
// thread that has not begun running.
static HANDLE StartJob(int isEncoding, const BYTE *input, DWORD length, BYTE *output,
                       DWORD outputSize, CodrixCompletion completion, DWORD userValue)
{
    JobSlot *slot = NULL;
    HANDLE result = INVALID_HANDLE_VALUE;
    int parkedWorker = 0;

    slot = ClaimParkedWorker();
    parkedWorker = slot != NULL;
    if (!slot) slot = ClaimFreeSlot();
    if (!slot) goto done;
    slot->callerHandle = NULL;   // the last job's handle no longer names this slot
    slot->isEncoding = isEncoding;
    slot->input = input;
    slot->length = length;
    slot->output = output;
    slot->outputSize = outputSize;
    slot->completion = completion;
    slot->userValue = userValue;
    InterlockedExchange(&slot->processed, 0);
    InterlockedExchange(&slot->total, (LONG)length);

    if (parkedWorker) {
        result = HandJobToWorker(slot);
        if (result != INVALID_HANDLE_VALUE) goto done;
        if (!HasEnded(slot->thread)) {
            // Only our own calls failed; the worker was not woken and still waits.
            InterlockedExchange(&slot->parked, 1);
            InterlockedExchange(&slot->state, SLOT_ACTIVE);
            goto done;
        }
        // Killed while parked or while being handed this job: a new thread takes it.
        ForgetWorker(slot);
    }
    if (!CreateWorker(slot)) {
        FreeSlot(slot);
        goto done;
    }
    result = HandJobToWorker(slot);
    if (result == INVALID_HANDLE_VALUE) {
        if (HasEnded(slot->thread)) FreeSlot(slot);
        else AbandonWorker(slot);
    }
done:
    return result;
}

static int QueryJob(HANDLE job, int isEncoding, DWORD *processed, DWORD *total)
{
    DWORD threadId = 0;

    if (!processed || !total || job == NULL || job == INVALID_HANDLE_VALUE) return 0;
    // A worker runs job after job, so its thread id alone does not name a job: the handle
    // value handed out for the job does, checked against the thread it names, since a
    // closed value may come back for another object. Our own handle keeps the thread id
    // from going to another thread while the slot holds it.
    threadId = GetThreadId(job);
    if (threadId == 0) return 0;
    for (DWORD i = 0; i < MAX_JOBS; ++i) {
        JobSlot *slot = &jobSlots[i];
        LONG generation = ReadShared(&slot->generation);
        LONG state = ReadShared(&slot->state);
        LONG done = 0, all = 0;
        if (state != SLOT_STARTING && state != SLOT_ACTIVE && state != SLOT_CHECKING) continue;
        if (slot->callerHandle != job || slot->threadId != threadId ||
            slot->isEncoding != isEncoding)
            continue;
        done = ReadShared(&slot->processed);
        all = ReadShared(&slot->total);
        if (ReadShared(&slot->generation) != generation) continue;   // reused meanwhile
        *processed = (DWORD)done;
        *total = (DWORD)all;
        return 1;
    }
    return 0;
}

// Stands in for a NULL pointer whose length is 0: nothing is read from or written to it.
static BYTE noBytes[1];

HANDLE WINAPI StartEncodeJob(const BYTE *input, DWORD length, char *output, DWORD outputSize,
                             CodrixCompletion completion, DWORD userValue)
{
    DWORD needed = Base64EncodedSize(length);
    if (!input && length == 0) input = noBytes;
    if (!input || !output) return INVALID_HANDLE_VALUE;
    if (needed == 0 || outputSize < needed) return INVALID_HANDLE_VALUE;
    return StartJob(1, input, length, (BYTE *)output, outputSize, completion, userValue);
}

HANDLE WINAPI StartDecodeJob(const char *text, BYTE *output, DWORD outputSize,
                             CodrixCompletion completion, DWORD userValue)
{
    uint32_t length = 0, measured = 0;
    if (!output && outputSize == 0) output = noBytes;
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
        JobSlot *slot = &jobSlots[i];
        // A parked worker waits in this library's code, which is about to go away. It
        // cannot be woken to leave by itself: its exit would wait for the loader lock,
        // which this DllMain holds.
        if (slot->thread && ReadShared(&slot->parked)) {
            TerminateThread(slot->thread, 0);
            WaitForSingleObject(slot->thread, INFINITE);
        }
        ForgetWorker(slot);
        slot->state = SLOT_FREE;
    }
}
