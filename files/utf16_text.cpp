// files/utf16_text.cpp -- UTF-16 files (as Windows PowerShell 5.1 writes them by default)
// narrowed to single bytes before the library measures and decodes them.
#include "files/utf16_text.h"

int NarrowUtf16Text(uint8_t *text, uint32_t *length)
{
    uint32_t size = *length, kept = 0;
    int high = 0;   // byte of each unit that must be zero: 1 for little-endian

    if (size < 2) return 1;
    if (text[0] == 0xFF && text[1] == 0xFE) high = 1;
    else if (text[0] == 0xFE && text[1] == 0xFF) high = 0;
    else return 1;
    if (size % 2) return 0;
    // Each unit's byte lands before the unit itself, so the pass never reads what it wrote.
    for (uint32_t i = 2; i < size; i += 2) {
        uint8_t low = text[i + 1 - high];
        if (text[i + high] != 0 || low > 0x7F) return 0;
        text[kept++] = low;
    }
    text[kept] = 0;
    *length = kept;
    return 1;
}
