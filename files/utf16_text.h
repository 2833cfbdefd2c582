// files/utf16_text.h -- Base64 files saved as UTF-16 made into the byte strings the codec
// library takes. Pure: no platform calls, so the native build could test it.
#pragma once
#include <stdint.h>

// When text[0, *length) starts with a UTF-16LE or UTF-16BE byte-order mark, rewrites it in
// place as one byte a character, without the mark and followed by a NUL, and sets *length
// to the characters kept; the block must hold *length + 1 bytes. Other text is left as it
// is. Returns 0 (the block's contents then undefined) for a character above 0x7F, which no
// Base64 text holds, or for an odd byte at the end; 1 otherwise.
int NarrowUtf16Text(uint8_t *text, uint32_t *length);
