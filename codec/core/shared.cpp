// codec/core/shared.cpp -- the table and the scan every vector decoder uses, compiled with
// the baseline flags (see shared.h).
#include "codec/core/shared.h"

struct CompactTable {
    uint8_t shuffle[256][8];
    uint8_t count[256];
};

static constexpr CompactTable MakeCompactTable(void)
{
    CompactTable table{};
    for (int mask = 0; mask < 256; ++mask) {
        int n = 0;
        for (int bit = 0; bit < 8; ++bit)
            if (mask >> bit & 1) table.shuffle[mask][n++] = (uint8_t)bit;
        table.count[mask] = (uint8_t)n;
        for (; n < 8; ++n) table.shuffle[mask][n] = 0x80;
    }
    return table;
}

static constexpr CompactTable COMPACT_TABLE = MakeCompactTable();
const uint8_t (*const COMPACT_SHUFFLE)[8] = COMPACT_TABLE.shuffle;
const uint8_t *const COMPACT_COUNT = COMPACT_TABLE.count;

uint32_t EndOfDecodedGroups(const char *text, uint32_t position, uint32_t undecoded)
{
    while (undecoded) {
        --position;
        if (!IsSpace(text[position])) --undecoded;
    }
    // Whitespace after the last decoded character belongs to the caller's next step.
    while (position > 0 && IsSpace(text[position - 1])) --position;
    return position;
}
