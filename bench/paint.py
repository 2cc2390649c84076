"""What dempaint does, written with numpy: a height raster painted into a
32-bit TGA image, the bottom row stored first, in strips of rows.

    python3 bench/paint.py terrain.raw terrain.tga WIDTH HEIGHT
"""
import sys

import numpy as np

raster, image, width, height = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
strip = max(1, (4 << 20) // (4 * width))  # rows of about 4 MiB
header = np.zeros(18, np.uint8)
header[2], header[16], header[17] = 2, 32, 8
header[12:16] = np.array([width, height], "<u2").view(np.uint8)
with open(image, "wb") as out:
    out.write(header.tobytes())
    for end in range(height, 0, -strip):
        start = max(0, end - strip)
        rows = np.fromfile(raster, "<f4", (end - start) * width, offset=4 * start * width)
        value = rows.reshape(end - start, width)[::-1].astype(np.int64)
        pixels = np.empty((end - start, width, 4), np.uint8)
        pixels[..., 0] = pixels[..., 1] = value & 0xFF
        pixels[..., 2] = (value >> 8) & 0xFF
        pixels[..., 3] = 255
        out.write(pixels.tobytes())
