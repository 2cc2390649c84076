"""Soft edges of a red fill, as ImageMagick draws them, and real terrain.

A red circle drawn with anti-aliasing, or a red shape feathered by a blur, on
the demo terrain's height image makes demscan warn about the soft edge, with
the count and the first pixel; the same circle with hard edges does not. Nor
do unedited height images of the demo terrain and of two real elevation
models (Debian's python-matplotlib-data), as they are and scaled so that
heights reach into the empty band 65280 ... 65535, with their sea left in.

Usage: soft_edges_test.py MAKE_TERRAIN DEMPAINT DEMSCAN

Exits 77 (skipped) when ImageMagick, numpy or the elevation models are
missing, except under CI=true, where that is a failure.
"""

import glob
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from script_checks import check, failures, skip_or_fail  # noqa: E402
from image_editors_test import imagemagick_command, settings  # noqa: E402

MODELS = "/usr/share/matplotlib/mpl-data/sample_data"
WARNING = "beside pure red look like the soft edge of a red fill"


def soft_edge_words(demscan, folder, image):
    """demscan's soft-edge warning for the image, or None."""
    with open(os.path.join(folder, "demscan.ini"), "wb") as f:
        f.write(settings([image, "back.raw", "0"]))
    run = subprocess.run([demscan], cwd=folder, capture_output=True, text=True,
                         env={**os.environ, "DEMTOOLS_DIAGNOSTICS": "1"})
    check(run.returncode == 0, f"demscan reads {image}")
    return next((line for line in run.stderr.splitlines() if WARNING in line), None)


def paint(dempaint, folder, name, heights):
    heights.astype("<f4").tofile(os.path.join(folder, name + ".raw"))
    rows, columns = heights.shape
    with open(os.path.join(folder, "dempaint.ini"), "wb") as f:
        f.write(settings([name + ".raw", name + ".tga", str(columns), str(rows)]))
    subprocess.run([dempaint], cwd=folder, capture_output=True, check=True)
    return name + ".tga"


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    make_terrain, dempaint, demscan = (os.path.abspath(p) for p in sys.argv[1:])
    im = imagemagick_command()
    if im is None:
        skip_or_fail("ImageMagick is not installed")
    try:
        import numpy as np
    except ImportError:
        skip_or_fail(f"numpy is not installed for {sys.executable}")
    models = {os.path.basename(p): p for p in glob.glob(os.path.join(MODELS, "*.npz"))}
    if not {"jacksboro_fault_dem.npz", "topobathy.npz"} <= models.keys():
        skip_or_fail("the elevation models of python-matplotlib-data are not installed")

    with tempfile.TemporaryDirectory(prefix="demtools-soft-edges-") as folder:
        subprocess.run([make_terrain, "1000", "700", os.path.join(folder, "demo.raw")],
                       check=True, capture_output=True)
        demo = np.fromfile(os.path.join(folder, "demo.raw"), "<f4").reshape(700, 1000)
        jacksboro = np.load(models["jacksboro_fault_dem.npz"])["elevation"].astype("f8")
        topobathy = np.load(models["topobathy.npz"])["topo"].astype("f8")
        unedited = {
            "demo": demo,
            "jacksboro": jacksboro * 10,
            "jacksboro-into-the-band": jacksboro * 62,
            "jacksboro-next-to-the-band": jacksboro * 10 + 65279 - 10460,
            "topobathy": topobathy,
            "topobathy-dm": topobathy * 10,
            "topobathy-full-scale": topobathy * 29,
        }
        for name, heights in unedited.items():
            image = paint(dempaint, folder, name, heights)
            check(soft_edge_words(demscan, folder, image) is None,
                  f"no soft-edge warning on the unedited {name} image")

        circle = ["-fill", "#FF0000", "-draw", "circle 150,110 150,140"]
        feather = ["(", "-size", "1000x700", "xc:none", "-fill", "#FF0000", "-draw",
                   "rectangle 300,250 420,330", "-blur", "0x4", ")", "-composite"]
        edits = {
            "soft circle": (circle, "136 pixels", "x 144, y 80"),
            "feathered rectangle": (feather, "259 pixels", "x 315, y 260"),
            "hard circle": (["+antialias"] + circle, None, None),
        }
        for n, (edit, (options, count, first)) in enumerate(edits.items()):
            image = f"edit{n}.tga"
            subprocess.run(im + [os.path.join(folder, "demo.tga"), "-auto-orient"] + options +
                           [os.path.join(folder, image)], check=True)
            words = soft_edge_words(demscan, folder, image)
            if count is None:
                check(words is None, f"no soft-edge warning on the {edit}")
            else:
                check(words is not None and words.startswith(f"demscan: warning: {count} ")
                      and f"the first at {first} from the top-left corner" in words,
                      f"the {edit} is warned about: {words}")

    print(f"{len(failures)} failed" if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
