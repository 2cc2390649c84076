"""demjoin's round trips on the real elevation models of Debian's
python-matplotlib-data: demtiler then demjoin gives back every tiled sample,
demjoin then demtiler the archive byte for byte.

Usage: real_terrain_test.py WORKDIR DEMTILER DEMJOIN TEMPLATE
Exits 77 (skipped) without numpy or the data, except under CI=true.
"""

import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from script_checks import check, failures, skip_or_fail  # noqa: E402

DATA = "/usr/share/matplotlib/mpl-data/sample_data/"
MODELS = [("jacksboro_fault_dem.npz", "elevation"), ("topobathy.npz", "topo")]


def run(program, settings_name, lines, folder):
    with open(os.path.join(folder, settings_name), "wb") as f:
        f.write(b"".join(line.encode() + b"\r\n" for line in lines))
    subprocess.run([program], cwd=folder, check=True, stdout=subprocess.DEVNULL)


def joined(np, heights):
    """The raster demjoin gives back: occupied tiles kept, the rest 0.0."""
    rows, columns = heights.shape
    back = np.zeros_like(heights)
    bits = heights.view(np.uint32)
    for top in range(0, rows - 75, 72):
        for left in range(0, columns - 75, 72):
            if bits[top:top + 76, left:left + 76].any():
                back[top:top + 76, left:left + 76] = heights[top:top + 76, left:left + 76]
    return back


def main(workdir, demtiler, demjoin, template):
    try:
        import numpy as np
    except ImportError:
        skip_or_fail("numpy is missing (python3-numpy)")
    if not all(os.path.exists(DATA + name) for name, _ in MODELS):
        skip_or_fail("the sample DEMs are missing (python-matplotlib-data)")
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    shutil.copy(template, os.path.join(workdir, "demtiler.dat"))
    for name, key in MODELS:
        heights = np.load(DATA + name)[key].astype("<f4")
        heights.tofile(os.path.join(workdir, "terrain.raw"))
        size = [str(heights.shape[1]), str(heights.shape[0])]
        run(demtiler, "demtiler.ini", ["terrain.raw", "terrain.gnd"] + size, workdir)
        run(demjoin, "demjoin.ini", ["terrain.gnd", "back.raw"] + size, workdir)
        back = np.fromfile(os.path.join(workdir, "back.raw"), "<f4").reshape(heights.shape)
        check(np.array_equal(back.view(np.uint32), joined(np, heights).view(np.uint32)),
              name + ": demtiler then demjoin gives back every tiled sample")
        run(demtiler, "demtiler.ini", ["back.raw", "again.gnd"] + size, workdir)
        with open(os.path.join(workdir, "terrain.gnd"), "rb") as a, \
                open(os.path.join(workdir, "again.gnd"), "rb") as b:
            check(a.read() == b.read(), name + ": demjoin then demtiler gives the archive back")
    if not failures:
        shutil.rmtree(workdir)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main(*sys.argv[1:])
