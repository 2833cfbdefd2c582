// files/progress_calc.h -- the arithmetic behind the progress bar and the status line of a
// background job. Pure: no platform calls, so the native build tests it.
#pragma once
#include <stdint.h>

// The same window length as AppState's (an identical redefinition is allowed).
#define SPEED_WINDOW_TICKS 15
#define STATUS_TEXT_BYTES 100

struct ProgressReading {
    uint32_t doneKB;
    uint32_t totalKB;
    uint32_t percent;   // 100 for a total under 1 KB; not clamped otherwise
    uint32_t speedKBs;  // kilobytes per second over the ticks that made progress
    char text[STATUS_TEXT_BYTES];
};

// Takes one 500 ms tick's reading of a job into the window: samples[] (oldest first) moves
// one place toward the front, the newest sample is processed - *lastProcessed (modulo 2^32,
// so a wrapping counter still gives the right difference), and *lastProcessed becomes
// processed. Fills *reading with the figures and the status text ("encoded" when encoding
// is non-zero, "decoded" otherwise).
void TakeProgressTick(uint32_t *lastProcessed, uint32_t samples[SPEED_WINDOW_TICKS],
                      uint32_t processed, uint32_t total, int encoding,
                      ProgressReading *reading);
