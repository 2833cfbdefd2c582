// Placeholders until the file commands land.
#include "files/files.h"

void OnEncodeFile(void) {}
void OnDecodeFile(void) {}
void CancelJob(void) {}
void OnJobEnded(DWORD, int) {}
void OnProgressTimer(UINT) {}
