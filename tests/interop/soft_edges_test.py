"""Soft edges of a red fill drawn by ImageMagick warn in demscan; unedited
real terrain (the demo's, Debian's python-matplotlib-data models, also
scaled into the empty band with their sea left in) and a hard fill do not.
Usage: soft_edges_test.py MAKE_TERRAIN DEMPAINT DEMSCAN (77: tools missing)"""

import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from script_checks import check, failures, skip_or_fail  # noqa: E402
from image_editors_test import imagemagick_command, settings  # noqa: E402

MODELS = "/usr/share/matplotlib/mpl-data/sample_data/"


def warning(demscan, folder, heights=None, edit=None):
    """demscan's soft-edge warning on a picture painted from `heights`, or on
    the demo's picture edited with ImageMagick `edit` options; None if none."""
    if heights is not None:
        heights.astype("<f4").tofile(os.path.join(folder, "t.raw"))
        with open(os.path.join(folder, "dempaint.ini"), "wb") as f:
            f.write(settings(["t.raw", "t.tga", str(heights.shape[1]), str(heights.shape[0])]))
        subprocess.run([DEMPAINT], cwd=folder, capture_output=True, check=True)
    else:
        subprocess.run(IM + [os.path.join(folder, "demo.tga"), "-auto-orient"] + edit +
                       [os.path.join(folder, "t.tga")], check=True)
    with open(os.path.join(folder, "demscan.ini"), "wb") as f:
        f.write(settings(["t.tga", "back.raw", "0"]))
    err = subprocess.run([demscan], cwd=folder, capture_output=True, text=True,
                         env={**os.environ, "DEMTOOLS_DIAGNOSTICS": "1"}).stderr
    return next((line for line in err.splitlines() if "soft edge of a red fill" in line), None)


def main():
    global DEMPAINT, IM
    make_terrain, DEMPAINT, demscan = (os.path.abspath(p) for p in sys.argv[1:4])
    IM = imagemagick_command()
    try:
        import numpy as np
        models = [np.load(MODELS + name) for name in ("jacksboro_fault_dem.npz", "topobathy.npz")]
    except (ImportError, OSError) as missing:
        skip_or_fail(f"numpy or python-matplotlib-data: {missing}")
    if IM is None:
        skip_or_fail("ImageMagick is not installed")
    jacksboro, topobathy = models[0]["elevation"] * 1.0, models[1]["topo"] * 1.0
    with tempfile.TemporaryDirectory(prefix="demtools-soft-edges-") as folder:
        subprocess.run([make_terrain, "1000", "700", os.path.join(folder, "demo.raw")], check=True)
        demo = np.fromfile(os.path.join(folder, "demo.raw"), "<f4").reshape(700, 1000)
        unedited = {"jacksboro": jacksboro * 10, "jacksboro into the band": jacksboro * 62,
                    "jacksboro next to the band": jacksboro * 10 + 54819, "topobathy": topobathy,
                    "topobathy x10": topobathy * 10, "topobathy x29": topobathy * 29, "demo": demo}
        for name, heights in unedited.items():
            check(warning(demscan, folder, heights) is None, f"silent on the unedited {name}")
        os.replace(os.path.join(folder, "t.tga"), os.path.join(folder, "demo.tga"))
        circle = ["-fill", "#FF0000", "-draw", "circle 150,110 150,140"]
        feather = ["(", "-size", "1000x700", "xc:none", "-fill", "#FF0000", "-draw",
                   "rectangle 300,250 420,330", "-blur", "0x4", ")", "-composite"]
        for edit, options, expected in (
                ("soft circle", circle, "136 pixels beside pure red"),
                ("soft circle", circle, "the first at x 144, y 80 from the top-left"),
                ("feathered rectangle", feather, "259 pixels beside pure red"),
                ("hard circle", ["+antialias"] + circle, None)):
            words = warning(demscan, folder, edit=options)
            check(words == expected if expected is None else expected in (words or ""),
                  f"{edit}: {words}")
    print(f"{len(failures)} failed" if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
