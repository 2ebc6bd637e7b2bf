#!/usr/bin/env python3
"""Draws the application icon (a waveform squeezed between two brackets) at
32x32 and 16x16 in 16 colours, and writes it as XPM sources for the program
and PNG files for the desktop entry. Run from the repository root."""
import math
import struct
import zlib

PALETTE = {
    ' ': None,                # transparent
    'b': (0x1B, 0x3A, 0x6B),  # tile
    'd': (0x12, 0x28, 0x4C),  # tile edge
    'w': (0xF2, 0xC9, 0x4C),  # waveform
    'k': (0xFF, 0xFF, 0xFF),  # brackets
}


def draw(size):
    grid = [[' '] * size for _ in range(size)]
    radius = size // 6
    for y in range(size):
        for x in range(size):
            cx = min(max(x, radius), size - 1 - radius)
            cy = min(max(y, radius), size - 1 - radius)
            if (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius:
                edge = (x - cx) ** 2 + (y - cy) ** 2 > (radius - 1) ** 2 or x in (0, size - 1) or y in (0, size - 1)
                grid[y][x] = 'd' if edge else 'b'
    # A decaying waveform across the tile.
    margin = size // 5
    mid = size / 2
    previous = None
    for x in range(margin, size - margin):
        t = (x - margin) / (size - 2 * margin)
        y = int(round(mid - (size * 0.3) * math.sin(t * 4 * math.pi) * (1 - 0.6 * t)))
        span = range(min(y, previous), max(y, previous) + 1) if previous is not None else [y]
        for yy in span:
            grid[yy][x] = 'w'
        previous = y
    # Brackets left and right: the squeeze.
    top, bottom = size // 6, size - 1 - size // 6
    for x0, dx in ((size // 10, 1), (size - 1 - size // 10, -1)):
        for y in range(top, bottom + 1):
            grid[y][x0] = 'k'
        for step in range(1, max(2, size // 12) + 1):
            grid[top][x0 + dx * step] = 'k'
            grid[bottom][x0 + dx * step] = 'k'
    return grid


def write_xpm(grid, name, path):
    size = len(grid)
    colours = [c for c in PALETTE if any(c in row for row in grid)]
    lines = [f'"{size} {size} {len(colours)} 1",']
    for c in colours:
        rgb = PALETTE[c]
        value = 'None' if rgb is None else '#%02X%02X%02X' % rgb
        lines.append(f'"{c} c {value}",')
    lines += [f'"{"".join(row)}",' for row in grid]
    lines[-1] = lines[-1].rstrip(',')
    with open(path, 'w') as out:
        out.write('/* XPM */\n')
        out.write(f'static const char* const {name}[] = {{\n')
        out.write('\n'.join(lines) + '\n};\n')


def write_png(grid, path):
    size = len(grid)
    raw = bytearray()
    for row in grid:
        raw.append(0)
        for c in row:
            rgb = PALETTE[c]
            raw += bytes((0, 0, 0, 0)) if rgb is None else bytes(rgb + (255,))

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))

    png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b'')
    with open(path, 'wb') as out:
        out.write(png)


for size in (32, 16):
    grid = draw(size)
    write_xpm(grid, f'qola_{size}_xpm', f'gui/resources/qola-{size}.xpm')
    write_png(grid, f'gui/resources/qola-{size}.png')
