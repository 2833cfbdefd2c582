// files/progress_calc.cpp -- the speed window and percentages of a running job. The platform
// side (querying the job, formatting the text, driving the controls) lives in progress.cpp.
#include "files/progress_calc.h"

// Ticks arrive every 500 ms, so a mean per tick doubled is a rate per second.
#define TICKS_PER_SECOND 2

const char STATUS_FORMAT[] =
    "%d KB %scoded out of %d KB total (%d%%), average speed: %d KB/s.";

void TakeProgressTick(uint32_t *lastProcessed, uint32_t samples[SPEED_WINDOW_TICKS],
                      uint32_t processed, uint32_t total, int encoding,
                      ProgressReading *reading)
{
    uint64_t sum = 0;
    uint32_t count = 0;
    int i;

    for (i = 0; i < SPEED_WINDOW_TICKS - 1; i++) samples[i] = samples[i + 1];
    samples[SPEED_WINDOW_TICKS - 1] = processed - *lastProcessed;
    *lastProcessed = processed;

    // Summed in 64 bits: doubled, a window holding a few GB would overflow 32.
    for (i = 0; i < SPEED_WINDOW_TICKS; i++) {
        sum += samples[i];
        if (samples[i] != 0) count++;
    }
    // Only ticks that made progress count, so a stall does not drag the mean down; a
    // window of nothing but stalls has no mean and shows 0.
    reading->speedKBs = count ? (uint32_t)(sum * TICKS_PER_SECOND / ((uint64_t)count * 1024)) : 0;

    reading->doneKB = processed >> 10;
    reading->totalKB = total >> 10;
    // The percentage comes from the KB figures, as shown, so the text never contradicts
    // itself.
    reading->percent = reading->totalKB == 0
        ? 100 : (uint32_t)((uint64_t)reading->doneKB * 100 / reading->totalKB);
    reading->coded = encoding ? "en" : "de";
}
