"""The height image in the tools people retouch it with.

A terrain painted by dempaint must open in ImageMagick and in Pillow at its
size with exactly its pixel bytes, opaque. Drawn on as it is, with a rectangle
painted pure red (in ImageMagick also a single pure red point), and saved again
by either of them in each layout they offer (uncompressed, run-length encoded,
24 bits per pixel, top row first), it must decode in demscan to the original
heights with 0.0 where red was painted.

Usage: image_editors_test.py imagemagick|pillow DEMPAINT DEMSCAN

Exits 77 (skipped) when the tool is missing, except under CI=true, where a
missing tool is a failure.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from script_checks import check, failures, skip_or_fail  # noqa: E402

WIDTH, HEIGHT = 37, 23
# Painted pure red: columns 5 to 15 and rows 3 to 9 of the picture, counted
# from its top-left corner, bounds included; in ImageMagick also the point at
# column 30, row 20.
RECTANGLE = (5, 3, 15, 9)
POINT = (30, 20)



def heights():
    """Whole heights from 0 to 65279, the ones the plain decoding gives back,
    with an empty sea where (row + column) is a multiple of 7; rows from the top."""
    grid = []
    for r in range(HEIGHT):
        row = []
        for c in range(WIDTH):
            sea = (r + c) % 7 == 0
            row.append(0 if sea else (r * 2851 + c * 977 + r * c * 13) % 65280)
        grid.append(row)
    grid[1][1] = 65279  # red byte FE, the largest below pure red
    return grid


def raster_bytes(grid):
    return b"".join(struct.pack("<f", float(h)) for row in grid for h in row)


def picture_bytes(grid):
    """Blue, green, red, alpha of every pixel, from the top row down."""
    return b"".join(bytes((h & 0xFF, h & 0xFF, h >> 8, 255)) for row in grid for h in row)


def with_red_painted(grid, point):
    x0, y0, x1, y1 = RECTANGLE
    return [[0 if (x0 <= c <= x1 and y0 <= r <= y1) or (point and (c, r) == POINT) else h
             for c, h in enumerate(row)]
            for r, row in enumerate(grid)]


def settings(lines):
    return "".join(line + "\r\n" for line in lines).encode()


def run(program, folder):
    return subprocess.run([program], cwd=folder, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode


def paint(dempaint, folder, grid):
    with open(os.path.join(folder, "terrain.raw"), "wb") as f:
        f.write(raster_bytes(grid))
    with open(os.path.join(folder, "dempaint.ini"), "wb") as f:
        f.write(settings(["terrain.raw", "terrain.tga", str(WIDTH), str(HEIGHT)]))
    return run(dempaint, folder)


def scan(demscan, folder, image, piped=False):
    """The raster demscan makes of the image, read by name, or through a pipe
    (which it cannot read twice and so holds in memory)."""
    with open(os.path.join(folder, "demscan.ini"), "wb") as f:
        f.write(settings(["" if piped else image, "back.raw", "0"]))
    with open(os.path.join(folder, image), "rb") as f:
        data = f.read()
    if subprocess.run([demscan], cwd=folder, input=data if piped else b"",
                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
        return None
    with open(os.path.join(folder, "back.raw"), "rb") as f:
        return f.read()


def header_of(path):
    with open(path, "rb") as f:
        header = f.read(18)
    return {"type": header[2], "depth": header[16], "top_row_first": bool(header[17] & 0x20)}


# --- ImageMagick -----------------------------------------------------------

def imagemagick_command():
    """ImageMagick 7's magick, or the first convert on the PATH that is
    ImageMagick's (another program of that name may come first)."""
    found = shutil.which("magick")
    if found:
        return [found]
    for folder in os.environ.get("PATH", "").split(os.pathsep):
        candidate = os.path.join(folder, "convert")
        if not os.access(candidate, os.X_OK):
            continue
        probe = subprocess.run([candidate, "-version"], capture_output=True, text=True)
        if "ImageMagick" in probe.stdout:
            return [candidate]
    return None


def imagemagick_draw(orientation):
    """The filled rectangle, then the single point. ImageMagick addresses
    pixels in the order the rows are stored, and reports that order as the
    orientation."""
    x0, y0, x1, y1 = RECTANGLE
    px, py = POINT
    if orientation == "BottomLeft":
        y0, y1, py = HEIGHT - 1 - y1, HEIGHT - 1 - y0, HEIGHT - 1 - py
    return ["+antialias", "-fill", "#FF0000", "-draw", f"rectangle {x0},{y0} {x1},{y1}",
            "-draw", f"point {px},{py}"]


def imagemagick_checks(im, folder):
    image = os.path.join(folder, "terrain.tga")
    info = subprocess.run(im + [image, "-format", "%w %h %[orientation]", "info:"],
                          capture_output=True, text=True, check=True).stdout.split()
    check(info[:2] == [str(WIDTH), str(HEIGHT)], f"ImageMagick reads the size {WIDTH} x {HEIGHT}")
    pixels = subprocess.run(im + [image, "-auto-orient", "-depth", "8", "bgra:-"],
                            capture_output=True, check=True).stdout
    check(pixels == picture_bytes(heights()), "ImageMagick reads every pixel byte")

    # ImageMagick's drawing clears the colour of every fully transparent
    # pixel; the image is opaque, so it is drawn on as it is.
    draw = imagemagick_draw(info[2])
    upright_draw = imagemagick_draw("TopLeft")
    return {
        "plain": (draw + ["-compress", "None"], {"type": 2, "depth": 32}),
        "run-length encoded": (draw + ["-compress", "RLE"], {"type": 10, "depth": 32}),
        "24-bit": (draw + ["-alpha", "off", "-compress", "None"], {"type": 2, "depth": 24}),
        "top row first": (["-auto-orient"] + upright_draw + ["-compress", "None"],
                          {"type": 2, "depth": 32, "top_row_first": True}),
    }


def imagemagick_save(im, folder, options, name):
    subprocess.run(im + [os.path.join(folder, "terrain.tga")] + options +
                   [os.path.join(folder, name)], check=True)


# --- Pillow ----------------------------------------------------------------

def pillow_checks(folder):
    from PIL import Image
    with Image.open(os.path.join(folder, "terrain.tga")) as picture:
        check(picture.size == (WIDTH, HEIGHT), f"Pillow reads the size {WIDTH} x {HEIGHT}")
        check(picture.tobytes("raw", "BGRA") == picture_bytes(heights()),
              "Pillow reads every pixel byte")
    return {
        "plain": ({}, {"type": 2, "depth": 32}),
        "run-length encoded": ({"compression": "tga_rle"}, {"type": 10, "depth": 32}),
        "24-bit": ({"mode": "RGB"}, {"type": 2, "depth": 24}),
        "top row first": ({"orientation": 1}, {"type": 2, "depth": 32, "top_row_first": True}),
    }


def pillow_save(folder, options, name):
    from PIL import Image, ImageDraw
    options = dict(options)
    with Image.open(os.path.join(folder, "terrain.tga")) as picture:
        picture.load()
        ImageDraw.Draw(picture).rectangle(RECTANGLE, fill=(255, 0, 0, 255))
        if "mode" in options:
            picture = picture.convert(options.pop("mode"))
        picture.save(os.path.join(folder, name), **options)


# ---------------------------------------------------------------------------

def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ("imagemagick", "pillow"):
        print(__doc__)
        return 2
    tool = sys.argv[1]
    dempaint, demscan = (os.path.abspath(p) for p in sys.argv[2:])

    if tool == "imagemagick":
        im = imagemagick_command()
        if im is None:
            skip_or_fail("ImageMagick is not installed")
    else:
        try:
            import PIL  # noqa: F401
        except ImportError:
            skip_or_fail(f"Pillow is not installed for {sys.executable}")

    with tempfile.TemporaryDirectory(prefix="demtools-interop-") as folder:
        grid = heights()
        if paint(dempaint, folder, grid) != 0:
            print("FAIL  dempaint did not paint the terrain")
            return 1
        variants = imagemagick_checks(im, folder) if tool == "imagemagick" else pillow_checks(folder)
        expected = raster_bytes(with_red_painted(grid, tool == "imagemagick"))
        for n, (variant, (options, layout)) in enumerate(variants.items()):
            name = f"retouched{n}.tga"
            if tool == "imagemagick":
                imagemagick_save(im, folder, options, name)
            else:
                pillow_save(folder, options, name)
            header = header_of(os.path.join(folder, name))
            layout = {"top_row_first": False, **layout}
            check(header == layout, f"{tool} saves {variant}: {header}")
            check(scan(demscan, folder, name) == expected,
                  f"demscan reads the {variant} image from {tool}: heights kept, red emptied")
            check(scan(demscan, folder, name, piped=True) == expected,
                  f"demscan reads the {variant} image from {tool} through a pipe alike")

    print(f"{len(failures)} failed" if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
