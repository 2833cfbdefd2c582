// codec/dll/jobs.h -- what the rest of the library needs from the job table in jobs.cpp.
#pragma once

// Closes the handles the job table still holds; only for FreeLibrary, when no job of
// this library may still be running.
void ReleaseJobSlots(void);
