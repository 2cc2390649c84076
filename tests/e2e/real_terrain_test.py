"""demjoin's round trips on the elevation models of python-matplotlib-data.

Usage: real_terrain_test.py WORKDIR DEMTILER DEMJOIN TEMPLATE (77: skipped)
"""

import filecmp
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from script_checks import check, failures, skip_or_fail  # noqa: E402

DATA = "/usr/share/matplotlib/mpl-data/sample_data/"
MODELS = [("jacksboro_fault_dem.npz", "elevation"), ("topobathy.npz", "topo")]


def run(program, settings, lines, folder):
    with open(os.path.join(folder, settings), "wb") as f:
        f.write(b"".join(line.encode() + b"\r\n" for line in lines))
    subprocess.run([program], cwd=folder, check=True, stdout=subprocess.DEVNULL)


def main(work, demtiler, demjoin, template):
    try:
        import numpy as np
    except ImportError:
        skip_or_fail("numpy is missing (python3-numpy)")
    if not all(os.path.exists(DATA + name) for name, _ in MODELS):
        skip_or_fail("the sample DEMs are missing (python-matplotlib-data)")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    shutil.copy(template, os.path.join(work, "demtiler.dat"))
    for name, key in MODELS:
        heights = np.load(DATA + name)[key].astype("<f4")
        heights.tofile(os.path.join(work, "terrain.raw"))
        size = [str(heights.shape[1]), str(heights.shape[0])]
        run(demtiler, "demtiler.ini", ["terrain.raw", "terrain.gnd"] + size, work)
        run(demjoin, "demjoin.ini", ["terrain.gnd", "back.raw"] + size, work)
        run(demtiler, "demtiler.ini", ["back.raw", "again.gnd"] + size, work)
        # Tiles every 72 samples, 76 wide: a tile holding a non-zero bit
        # comes back whole, the rest as 0.0.
        expected = np.zeros_like(heights)
        for top in range(0, heights.shape[0] - 75, 72):
            for left in range(0, heights.shape[1] - 75, 72):
                tile = np.s_[top:top + 76, left:left + 76]
                if heights[tile].view(np.uint32).any():
                    expected[tile] = heights[tile]
        back = np.fromfile(os.path.join(work, "back.raw"), "<f4").reshape(heights.shape)
        check(back.tobytes() == expected.tobytes(), name + ": every tiled sample comes back")
        same = filecmp.cmp(*(os.path.join(work, f) for f in ("terrain.gnd", "again.gnd")), False)
        check(same, name + ": the raster tiles into the same archive")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main(*sys.argv[1:])
