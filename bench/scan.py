"""What demscan does in mode 0, written with numpy: a 32-bit TGA image as
dempaint writes it (bottom row stored first) read back into a height raster,
in strips of rows. Red 255 is an empty sample; any other pixel is
256 x red + blue.

    python3 bench/scan.py terrain.tga back.raw
"""
import sys

import numpy as np

image, raster = sys.argv[1], sys.argv[2]
width, height = np.fromfile(image, "<u2", 2, offset=12)
width, height = int(width), int(height)
strip = max(1, (4 << 20) // (4 * width))  # rows of about 4 MiB
with open(raster, "wb") as out:
    for end in range(height, 0, -strip):
        start = max(0, end - strip)
        pixels = np.fromfile(image, np.uint8, (end - start) * width * 4,
                             offset=18 + 4 * start * width).reshape(end - start, width, 4)[::-1]
        red, blue = pixels[..., 2].astype(np.int32), pixels[..., 0].astype(np.int32)
        out.write(np.where(red == 255, 0, 256 * red + blue).astype("<f4").tobytes())
