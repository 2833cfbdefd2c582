// files/save_name.h -- the path the Save dialog suggests for a conversion's result. Pure:
// no platform calls, so the native build tests it.
#pragma once
#include <stdint.h>

// 1 when `byte` starts a two-byte character in the code page the path is in (the platform
// side asks the ANSI code page). A trail byte may equal '\\', so the path is walked by
// characters; '.', ' ', '/' and ':' are never trail bytes.
typedef int (*LeadByteTest)(uint8_t byte);

// Writes to `out` (`outSize` bytes, NUL included) the input's folder, separator included,
// followed by the name to save the result under:
//   encoding:            NAME           -> NAME.QVB
//   decoding:            NAME.QVB       -> NAME          (the extension in any case,
//                        NAME.b64       -> NAME           as for all of these)
//                        NAME.base64    -> NAME
//                        NAME.pem       -> NAME.der      (also .crt .cer .key .csr .p7b)
//                        anything else  -> NAME.bin
// An extension is what follows the name's last '.', and only when something other than
// dots and spaces stands before it, so ".QVB" or "..QVB" decode to ".QVB.bin"; the dots
// and spaces that end a stripped name go with the extension, as the platform drops them
// from file names anyway. The suggestion is therefore never the input's own name.
// Returns 1 with the whole suggestion; 0 when it would not fit, with `out` holding the
// folder alone, or "" when the path names no file or not even the folder fits.
int SuggestSavePath(const char *inputPath, int encoding, LeadByteTest isLeadByte, char *out,
                    uint32_t outSize);
