"""Soft red edges from ImageMagick warn in demscan; a hard fill and unedited real terrain
do not. Usage: soft_edges_test.py MAKE_TERRAIN DEMPAINT DEMSCAN (77: tools missing)"""

import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from script_checks import check, failures, skip_or_fail  # noqa: E402
from image_editors_test import imagemagick_command, settings  # noqa: E402


def soft_edge_words(folder, programs, heights):
    """demscan's soft-edge warning on dempaint's picture of `heights`, or on
    ImageMagick's edit of demo.tga with the options `heights`."""
    def run(program, lines, env=None):
        with open(os.path.join(folder, os.path.basename(program) + ".ini"), "wb") as f:
            f.write(settings(lines))
        return subprocess.run([program], cwd=folder, capture_output=True, text=True, env=env)
    if isinstance(heights, list):
        subprocess.run(imagemagick_command() + ["demo.tga", "-auto-orient"] + heights + ["t.tga"],
                       cwd=folder, check=True)
    else:
        heights.astype("<f4").tofile(os.path.join(folder, "t.raw"))
        run(programs[0], ["t.raw", "t.tga", str(heights.shape[1]), str(heights.shape[0])])
    err = run(programs[1], ["t.tga", "back.raw", "0"], {**os.environ, "DEMTOOLS_DIAGNOSTICS": "1"})
    return next((line for line in err.stderr.splitlines() if "soft edge of a red" in line), "")


def main():
    make_terrain, *programs = (os.path.abspath(p) for p in sys.argv[1:4])
    if imagemagick_command() is None:
        skip_or_fail("ImageMagick is not installed")
    try:
        import numpy as np
        models = "/usr/share/matplotlib/mpl-data/sample_data/"
        jacksboro = np.load(models + "jacksboro_fault_dem.npz")["elevation"] * 1.0
        topobathy = np.load(models + "topobathy.npz")["topo"] * 1.0
    except (ImportError, OSError) as missing:
        skip_or_fail(f"numpy or python-matplotlib-data: {missing}")
    with tempfile.TemporaryDirectory(prefix="demtools-soft-edges-") as folder:
        subprocess.run([make_terrain, "1000", "700", "demo.raw"], cwd=folder, check=True)
        demo = np.fromfile(os.path.join(folder, "demo.raw"), "<f4").reshape(700, 1000)
        circle = ["-fill", "#FF0000", "-draw", "circle 150,110 150,140"]
        feather = ["(", "-size", "1000x700", "xc:none", "-fill", "#FF0000", "-draw",
                   "rectangle 300,250 420,330", "-blur", "0x4", ")", "-composite"]
        for name, heights, expected in [
                ("jacksboro", jacksboro * 10, ""), ("its peaks in the band", jacksboro * 62, ""),
                ("beside the band", jacksboro * 10 + 54819, ""), ("topobathy", topobathy, ""),
                ("x10", topobathy * 10, ""), ("x29", topobathy * 29, ""), ("demo", demo, ""),
                ("soft circle", circle, "136 pixels beside pure red look like the soft edge of a "
                 "red fill, red blended into a height, the first at x 144, y 80 "),
                ("feathered", feather, "259 pixels"), ("hard circle", ["+antialias"] + circle, "")]:
            words = soft_edge_words(folder, programs, heights)
            check(expected in words and bool(words) == bool(expected), f"{name}: {words}")
            if name == "demo":
                os.replace(os.path.join(folder, "t.tga"), os.path.join(folder, "demo.tga"))
    print(f"{len(failures)} failed" if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
