#!/usr/bin/env python3
# Writes res/app.ico: the program's 16x16, 16-colour icon (a page with "64" on it and a
# conversion arrow), drawn here as a character grid so the picture can be read and edited.
import struct, sys

# The 16-colour palette of the classic VGA set, as (blue, green, red, 0).
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
# Grid characters: '.' transparent, then palette indices by name.
COLOURS = {'k': 0, 'n': 4, 'g': 8, 's': 7, 'w': 15, 'b': 12, 'y': 11, 'r': 9}
GRID = [
    "..kkkkkkkkkk....",
    "..kwwwwwwwwkk...",
    "..kwwwwwwwwksk..",
    "..kwwwwwwwwkkkk.",
    "..kwbbbwwbwwbwk.",
    "..kwbwwwwbwwbwk.",
    "..kwbbbwwbbbbwk.",
    "..kwbwbwwwwwbwk.",
    "..kwbbbwwwwwbwk.",
    "..kwwwwwwwwwwwk.",
    "..kwnnnnnnnnnwk.",
    "..kwwwwwwwwwwwk.",
    "..kwrrrrrrrywwk.",
    "..kwwwwwwwyywwk.",
    "..kwwwwwwwwwwwk.",
    "..kkkkkkkkkkkkk.",
]


def main(path):
    assert len(GRID) == 16 and all(len(row) == 16 for row in GRID)
    # Rows are stored bottom-up; two pixels a byte, high nibble first.
    xor = b''
    mask = b''
    for row in reversed(GRID):
        nibbles = [COLOURS.get(c, 0) for c in row]
        xor += bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, 16, 2))
        bits = 0
        for c in row:
            bits = (bits << 1) | (1 if c == '.' else 0)
        mask += struct.pack('>H', bits) + b'\0\0'   # each mask row padded to 32 bits
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    header = struct.pack('<IiiHHIIiiII', 40, 16, 32, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    image = header + palette + xor + mask
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', 16, 16, 16, 0, 1, 4, len(image), 6 + 16)
    with open(path, 'wb') as out:
        out.write(directory + entry + image)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'app.ico')
