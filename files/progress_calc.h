// files/progress_calc.h -- the arithmetic behind the progress bar and the status line of a
// background job. Pure: no platform calls, so the native build tests it.
#pragma once
#include <stdint.h>

// The ticks the average speed is taken over; AppState holds a window of them.
#define SPEED_WINDOW_TICKS 15
#define STATUS_TEXT_BYTES 100

// The status line, filled in this order with doneKB, coded, totalKB, percent and speedKBs
// (each as an int; every value fits). The longest text the figures can make, NUL
// included, fits STATUS_TEXT_BYTES.
extern const char STATUS_FORMAT[];

struct ProgressReading {
    uint32_t doneKB;
    uint32_t totalKB;
    uint32_t percent;   // 100 for a total under 1 KB; not clamped otherwise
    uint32_t speedKBs;  // kilobytes per second over the ticks that made progress
    const char *coded;  // "en" or "de", so the text reads encoded or decoded
};

// Takes one 500 ms tick's reading of a job into the window: samples[] (oldest first) moves
// one place toward the front, the newest sample is processed - *lastProcessed (modulo 2^32,
// so a wrapping counter still gives the right difference), and *lastProcessed becomes
// processed. Fills *reading with the figures for the bar and the status line.
void TakeProgressTick(uint32_t *lastProcessed, uint32_t samples[SPEED_WINDOW_TICKS],
                      uint32_t processed, uint32_t total, int encoding,
                      ProgressReading *reading);
