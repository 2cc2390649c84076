"""What demtiler does, written with numpy: the occupied 76 x 76 tiles, taken
every 72 samples, of a height raster written into a GND tile archive, one
band of 76 rows at a time.

    python3 bench/tile.py terrain.raw terrain.gnd WIDTH HEIGHT demtiler.dat
"""
import struct
import sys

import numpy as np

raster, archive, width, height, template = sys.argv[1:6]
width, height = int(width), int(height)
across, down = max(0, (width - 4) // 72), max(0, (height - 4) // 72)


def band(ty):
    rows = np.fromfile(raster, "<u4", 76 * width, offset=4 * 72 * ty * width)
    return rows.reshape(76, width)


def windows(rows):
    return [rows[:, 72 * tx:72 * tx + 76] for tx in range(across)]


tiles = [(ty, tx) for ty in range(down)
         for tx, w in enumerate(windows(band(ty))) if w.any()]
height_block, tile_size = 4 + 76 * 76 * 10, 4 + 76 * 76 * 10 + 18 + 128 * 128 * 4
first = 8 + 16 * len(tiles) + 3800
directory = b"".join(struct.pack("<4I", ty, tx, first + i * tile_size,
                                 first + i * tile_size + height_block)
                     for i, (ty, tx) in enumerate(tiles))
cells = np.zeros((76 * 76, 10), np.uint8)
cells[:, 0], cells[:, 9] = 0xFD, 0x7E
texture = np.zeros(18 + 128 * 128 * 4, np.uint8)
texture[2], texture[12:16], texture[16], texture[17] = 2, [128, 0, 128, 0], 32, 8
with open(archive, "wb") as out:
    out.write(b"GND\x0b" + struct.pack("<I", len(tiles)) + directory)
    out.write(open(template, "rb").read(3800))
    ty_loaded, rows = -1, None
    for ty, tx in tiles:
        if ty != ty_loaded:
            ty_loaded, rows = ty, band(ty).view("<f4")
        heights = (rows[:, 72 * tx:72 * tx + 76] / np.float32(10)).astype("<f4")
        cells[:, 3:7] = heights.T.reshape(-1, 1).view(np.uint8)  # column by column
        out.write(b"\0\0\0\0" + cells.tobytes() + texture.tobytes())
