// files/progress.cpp -- the 500 ms tick of a running job: ask the library how far it got and
// show it. The arithmetic and the text are progress_calc.cpp's.
#include "files/files.h"

#include <commctrl.h>

#include "app/app.h"
#include "codec/codrix.h"
#include "files/progress_calc.h"
#include "res/resource.h"

void OnProgressTimer(UINT timerId)
{
    DWORD processed = 0, total = 0;
    uint32_t last = 0;
    uint32_t samples[SPEED_WINDOW_TICKS];
    ProgressReading reading;
    char text[STATUS_TEXT_BYTES];
    int ok = 0, i;

    // A tick already queued when the job was completed finds no job.
    if (appState.job.handle == INVALID_HANDLE_VALUE) return;
    if (timerId == TIMER_ENCODE_JOB)
        ok = QueryEncodeProgress(appState.job.handle, &processed, &total);
    else if (timerId == TIMER_DECODE_JOB)
        ok = QueryDecodeProgress(appState.job.handle, &processed, &total);
    if (!ok) return;

    // AppState holds DWORDs and the arithmetic uint32_t: the same width, distinct types.
    last = appState.lastProcessed;
    for (i = 0; i < SPEED_WINDOW_TICKS; i++) samples[i] = appState.speedSamples[i];
    TakeProgressTick(&last, samples, processed, total, timerId == TIMER_ENCODE_JOB, &reading);
    appState.lastProcessed = last;
    for (i = 0; i < SPEED_WINDOW_TICKS; i++) appState.speedSamples[i] = samples[i];

    // KB counts stay below 2^22, the percent below 2^29 and the speed below 2^24, so each
    // is a non-negative int, and the longest text fits the buffer.
    wsprintfA(text, STATUS_FORMAT, (int)reading.doneKB, reading.coded, (int)reading.totalKB,
              (int)reading.percent, (int)reading.speedKBs);
    SendDlgItemMessageA(appState.dialog, IDC_PROGRESS, PBM_SETPOS, reading.percent, 0);
    SetDlgItemTextA(appState.dialog, IDC_STATUS, text);
}
