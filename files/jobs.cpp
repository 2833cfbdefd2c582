// files/jobs.cpp -- background jobs: starting one, handing its end over to the UI thread,
// completing it exactly once, and the Cancel button. The progress ticks live in progress.cpp.
#include "files/files.h"

#include <commctrl.h>

#include "app/app.h"
#include "codec/codrix.h"
#include "res/resource.h"

static const int IDLE_CONTROLS[] = {IDC_ENCODE_FILE, IDC_DECODE_FILE, IDC_ASYNC};

void SetFileControlsIdle(int idle)
{
    size_t i;

    for (i = 0; i < sizeof(IDLE_CONTROLS) / sizeof(IDLE_CONTROLS[0]); i++)
        EnableWindow(GetDlgItem(appState.dialog, IDLE_CONTROLS[i]), idle ? TRUE : FALSE);
    EnableWindow(GetDlgItem(appState.dialog, IDC_CANCEL_JOB), idle ? FALSE : TRUE);
}

// Who ends the running job. The worker may be stopped at any instant, but not while it
// is inside PostMessageA: a thread killed in a system call can leave a lock held that
// the UI thread needs next. So the worker claims the hand-over and the UI thread claims
// the stop, each with one interlocked exchange, and Cancel waits out a hand-over. The
// job's serial is part of the value, so a finished worker that is slow to record its
// last step cannot touch the next job's state.
enum JobHandOverStage { JOB_RUNNING, JOB_HANDING_OVER, JOB_HANDED_OVER, JOB_STOPPING };

static LONG HandOver(DWORD serial, LONG stage)
{
    return (LONG)((serial << 2) | (DWORD)stage);
}

// Runs on the job's worker thread, which must never touch a window or the job's fields: it
// only tells the UI thread, which completes the job in OnJobEnded. The serial is read here
// rather than passed as the user value; it cannot change before this call, since no job
// starts before the previous one is completed, and Cancel waits for the thread.
void WINAPI JobCompletion(HANDLE job, int success, DWORD userValue)
{
    DWORD serial = appState.job.serial;
    (void)job;
    (void)userValue;
    // Cancel got here first and is about to stop this thread: leave without a word.
    if (InterlockedCompareExchange(&appState.jobHandOver, HandOver(serial, JOB_HANDING_OVER),
                                   HandOver(serial, JOB_RUNNING)) != HandOver(serial, JOB_RUNNING))
        return;
    PostMessageA(appState.dialog, WM_APP_JOB_ENDED, (WPARAM)serial, (LPARAM)(success ? 1 : 0));
    InterlockedCompareExchange(&appState.jobHandOver, HandOver(serial, JOB_HANDED_OVER),
                               HandOver(serial, JOB_HANDING_OVER));
}

// Ends the running job's thread and returns once it is really gone, so that its buffers
// can go. Called only on the UI thread.
static void StopJobThread(HANDLE job)
{
    DWORD serial = appState.job.serial;
    // A hand-over under way is a few system calls long; let it finish first.
    while (InterlockedCompareExchange(&appState.jobHandOver, HandOver(serial, JOB_STOPPING),
                                      HandOver(serial, JOB_RUNNING)) ==
           HandOver(serial, JOB_HANDING_OVER))
        Sleep(1);
    // Now the worker is converting, parked after its completion, or already gone: it
    // holds nothing, and a terminated thread may run on until the wait says it has ended.
    TerminateThread(job, 0);
    WaitForSingleObject(job, INFINITE);
}

// The one completion of the running job, on the UI thread: save or report, return the
// dialog to idle, release what the job held.
static void CompleteJob(int success)
{
    // The job leaves AppState before anything else happens. The save dialog below runs a
    // message loop, in which a Cancel click, a timer tick or a late hand-over then finds
    // no job, so nothing can complete this one a second time.
    RunningJob job = appState.job;
    appState.job = NO_JOB;

    // After the dialog has ended these window calls fail harmlessly; the releases below
    // still happen.
    KillTimer(appState.dialog, job.isEncoding ? TIMER_ENCODE_JOB : TIMER_DECODE_JOB);
    if (success) SaveConversion(job.isEncoding, job.output, job.outputSize, job.suggestedPath);
    else if (!job.cancelled) ShowConversionError(job.isEncoding);
    SetFileControlsIdle(1);

    // A job that ended by itself no longer touches its buffers once its completion has
    // run, and its library parks the thread until the next start; a cancelled job's
    // thread is gone already (StopJobThread).
    CloseHandle(job.handle);
    LocalFree(job.input);
    LocalFree(job.output);

    SendDlgItemMessageA(appState.dialog, IDC_PROGRESS, PBM_SETPOS, 0, 0);
    SetDlgItemTextA(appState.dialog, IDC_STATUS, NULL);
    SetCursor(LoadCursorA(NULL, IDC_ARROW));
}

void OnJobEnded(DWORD serial, int success)
{
    // A hand-over can arrive after Cancel has completed its job, and even after a newer
    // job has started; only the running job's own serial counts.
    if (appState.job.handle == INVALID_HANDLE_VALUE || serial != appState.job.serial) return;
    CompleteJob(success);
}

void CancelJob(void)
{
    if (appState.job.handle == INVALID_HANDLE_VALUE) return;
    // Also right for a job whose hand-over was never processed because the dialog ended
    // first: its thread is parked, and stopping it is harmless.
    StopJobThread(appState.job.handle);
    appState.job.cancelled = 1;
    CompleteJob(0);
}

// Both forms share this: everything but the handle is set before the job can run, and the
// handover of a job that ends at once is a posted message, handled only after the start
// has returned and the handle is stored.
static void StartJob(int encoding, BYTE *input, DWORD length, BYTE *output, DWORD outputSize,
                     const char *suggestedPath)
{
    UINT timer = encoding ? TIMER_ENCODE_JOB : TIMER_DECODE_JOB;
    RunningJob job = NO_JOB;
    HANDLE started = INVALID_HANDLE_VALUE;
    int i;

    SetFileControlsIdle(0);
    job.isEncoding = encoding;
    job.input = input;  // the job owns both buffers until CompleteJob frees them
    job.output = output;
    job.outputSize = outputSize;
    job.serial = ++appState.jobsStarted;
    lstrcpynA(job.suggestedPath, suggestedPath ? suggestedPath : "", MAX_PATH);
    appState.job = job;
    InterlockedExchange(&appState.jobHandOver, HandOver(job.serial, JOB_RUNNING));
    appState.lastProcessed = 0;
    for (i = 0; i < SPEED_WINDOW_TICKS; i++) appState.speedSamples[i] = 0;
    SetTimer(appState.dialog, timer, TIMER_PERIOD_MS, NULL);

    if (encoding)
        started = StartEncodeJob(input, length, (char *)output, outputSize, JobCompletion, 0);
    else
        started = StartDecodeJob((const char *)input, output, outputSize, JobCompletion, 0);
    if (started != INVALID_HANDLE_VALUE && started != NULL) {
        appState.job.handle = started;
        return;
    }

    KillTimer(appState.dialog, timer);
    SetFileControlsIdle(1);
    appState.job = NO_JOB;
    LocalFree(input);
    LocalFree(output);
    SetCursor(LoadCursorA(NULL, IDC_ARROW));
    ShowConversionError(encoding);
}

void BeginEncodeJob(BYTE *input, DWORD length, BYTE *output, DWORD outputSize,
                    const char *suggestedPath)
{
    StartJob(1, input, length, output, outputSize, suggestedPath);
}

void BeginDecodeJob(BYTE *input, BYTE *output, DWORD outputSize, const char *suggestedPath)
{
    StartJob(0, input, 0, output, outputSize, suggestedPath);
}
