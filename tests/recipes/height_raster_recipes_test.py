"""The commands of the chapter "Getting a height raster", run as they stand.

Each scenario makes its input files (a 16-bit and an 8-bit grayscale PNG, an
elevation model with a sea, a no-data area and a peak), runs the chapter's
marked code blocks in order in a fresh folder, with the built programs first
on the PATH, and checks the heights that come out, sample by sample.

Usage: height_raster_recipes_test.py SCENARIO CHAPTER WORKDIR DEMPAINT DEMSCAN DEMTILER TEMPLATE
       height_raster_recipes_test.py --list CHAPTER

A block is marked by the line `<!-- recipe: NAME -->` before its fence. Every
block of the chapter must be marked and run by a scenario, so that no command
in it goes untested. Exits 77 (skipped) when GDAL, Pillow or ImageMagick is
missing, except under CI=true, where a missing tool is a failure. The folder
WORKDIR/SCENARIO is removed when the scenario passes and kept when it fails.
"""

import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from script_checks import check, failures, skip_or_fail  # noqa: E402

# The blocks each scenario runs, in this order; shell blocks share one shell.
SCENARIOS = {
    "png16": ["png", "size", "programs", "back-header", "back-convert"],
    "png8": ["png8", "size"],
    "numpy": ["numpy"],
    "imagemagick-trap": ["imagemagick-trap"],
    "dem": ["dem", "size", "programs", "back-georeferenced", "back-convert"],
}

# The picture and raster size the chapter's examples work with.
WIDTH, HEIGHT = 300, 220
SEA_COLUMNS = 150  # columns 0 to 149 are sea: tile columns 0 and 1 stay empty
TILE, STEP = 76, 72
HIGHEST_KEPT = 65279  # the highest height the image gives back in mode 0



# --- the chapter's blocks -----------------------------------------------------

BLOCK = re.compile(r"^(?:<!-- recipe: ([\w-]+) -->\n)?```(\w*)\n(.*?)^```$", re.M | re.S)


def read_blocks(chapter):
    """Every fenced block as (name or None, language, text)."""
    with open(chapter, encoding="utf-8") as f:
        return [(m.group(1), m.group(2), m.group(3)) for m in BLOCK.finditer(f.read())]


def check_blocks_all_run(blocks):
    """Each block is marked once and run by some scenario."""
    names = [name for name, _, _ in blocks]
    used = {name for scenario in SCENARIOS.values() for name in scenario}
    check(None not in names, "every code block of the chapter is marked as a recipe")
    check(len(set(names)) == len(names), "no recipe name is used twice")
    check(set(names) == used, f"the scenarios run every recipe: {sorted(set(names) ^ used)}")


def run_blocks(scenario, blocks, folder, path):
    """Runs the scenario's blocks in the folder: consecutive shell blocks as
    one script, so that variables such as W and H carry over as they do in a
    person's shell. Returns the console output, or None if a command failed."""
    by_name = {name: (language, text) for name, language, text in blocks}
    groups = []
    for name in SCENARIOS[scenario]:
        language, text = by_name[name]
        if groups and groups[-1][0] == language == "sh":
            groups[-1][1].append(text)
        else:
            groups.append((language, [text]))
    env = dict(os.environ, PATH=path + os.pathsep + os.environ.get("PATH", ""))
    output = b""
    for language, texts in groups:
        command = ["sh", "-e", "-c"] if language == "sh" else [sys.executable, "-c"]
        done = subprocess.run(command + ["".join(texts)], cwd=folder, env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        output += done.stdout
        if done.returncode != 0:
            print(done.stdout.decode(errors="replace"))
            check(False, f"the {language} commands of {scenario} end with status 0, "
                         f"not {done.returncode}")
            return None
    return output


# --- input files ----------------------------------------------------------------

def save(gdal, name, array, data_type, driver="PNG", setup=None):
    """Writes a one-band array through GDAL's in-memory driver."""
    memory = gdal.GetDriverByName("MEM").Create("", array.shape[1], array.shape[0], 1, data_type)
    if setup:
        setup(memory)
    memory.GetRasterBand(1).WriteArray(array)
    gdal.GetDriverByName(driver).CreateCopy(name, memory)


def png16_heights(np):
    """A sea of zeros on the left, land of every height from 1 to 65535 on the
    right, and the heights around the top of the image's range at known places."""
    r, c = np.mgrid[0:HEIGHT, 0:WIDTH]
    heights = 1 + (r * 2851 + c * 977 + r * c * 13) % 65535
    heights[c < SEA_COLUMNS] = 0
    for row, height in enumerate((49800, HIGHEST_KEPT, HIGHEST_KEPT + 1, 65535), start=10):
        heights[row, 160] = height
    return heights.astype(np.uint16)


def dem_metres(np):
    """The elevation model as the chapter's window shows it at the chosen size,
    one value per sample: a sea of three depths on the left (down to -320 m),
    land of whole metres, a 7000 m peak, and a no-data area over the whole
    bottom-right tile."""
    r, c = np.mgrid[0:HEIGHT, 0:WIDTH]
    metres = 1 + (r * 37 + c * 53) % 3000
    sea = c < SEA_COLUMNS
    metres[sea] = (-20 - (r % 3) * 150)[sea]
    metres[100:105, 250:255] = 7000
    metres[50:52, 200] = (101, 204)  # averages of unequal pixels, see write_dem
    metres[144:, 216:] = -32768
    return metres.astype(np.int16)


def write_dem(gdal, np, osr):
    """dem.tif: 700 x 500 pixels of 1 arc-second, the chapter's window of
    600 x 440 pixels at column 100, row 50, each sample of the window's
    averaged 300 x 220 drawn from 2 x 2 pixels whose average is a whole
    number."""
    source = np.full((500, 700), 500, dtype=np.int16)
    source[50:490, 100:700] = np.repeat(np.repeat(dem_metres(np), 2, axis=0), 2, axis=1)
    # Two samples whose pixels differ: 101 is the average of 100, 100, 100
    # and 104; 204 that of 200 and 212 beside a no-data pixel left out.
    source[150:152, 500:502] = ((100, 100), (100, 104))
    source[152:154, 500:502] = ((-32768, 200), (200, 212))

    def georeference(dataset):
        dataset.SetGeoTransform((10.0, 1 / 3600, 0.0, 47.0, 0.0, -1 / 3600))
        srs = osr.SpatialReference()
        srs.ImportFromEPSG(4326)
        dataset.SetProjection(srs.ExportToWkt())
        dataset.GetRasterBand(1).SetNoDataValue(-32768)

    save(gdal, "dem.tif", source, gdal.GDT_Int16, "GTiff", georeference)


# --- what comes out --------------------------------------------------------------

def read_raster(np, name, shape=(HEIGHT, WIDTH)):
    samples = np.fromfile(name, dtype="<f4")
    return samples.reshape(shape) if samples.size == shape[0] * shape[1] else samples


def through_image(np, raster):
    """The heights demscan gives back in mode 0 from dempaint's image: the
    whole number modulo 65536, with 65280 to 65535 (red byte 255) empty."""
    wrapped = np.trunc(raster).astype(np.int64) % 65536
    return np.where(wrapped > HIGHEST_KEPT, 0, wrapped).astype(np.float32)


def tile_map(np, raster):
    """The occupancy map demtiler prints for the raster, built from the tile
    rule: a 76 x 76 window every 72 samples, occupied when a sample is not 0."""
    across, down = (WIDTH - 4) // STEP, (HEIGHT - 4) // STEP
    occupied = [(ty, tx) for ty in range(down) for tx in range(across)
                if raster[ty * STEP:ty * STEP + TILE, tx * STEP:tx * STEP + TILE].any()]
    lines = [f"x-{across}", f"y-{down}"]
    lines += ["".join("*" if (ty, tx) in occupied else "-" for tx in range(across)) + str(ty)
              for ty in range(down)]
    text = "\r\n".join(lines + ["", str(len(occupied))]) + "\r\n"
    return text.encode(), occupied


def archive_tiles(name):
    """The (row, column) of each tile in a GND archive's directory."""
    with open(name, "rb") as f:
        data = f.read()
    count = int.from_bytes(data[4:8], "little")
    tiles = [(int.from_bytes(data[8 + 16 * n:12 + 16 * n], "little"),
              int.from_bytes(data[12 + 16 * n:16 + 16 * n], "little")) for n in range(count)]
    return tiles, len(data) == 3808 + 123334 * count


def check_programs(np, output, raster, expected_map=None):
    """dempaint, demscan and demtiler after the conversion: the heights back
    from the image, the map on the console and the tiles in the archive."""
    back = read_raster(np, "back.raw")
    check(np.array_equal(back, through_image(np, raster)),
          "demscan gives back every whole height up to 65279, the rest empty or wrapped")
    text, occupied = tile_map(np, back)
    if expected_map is not None:
        check(text.startswith(expected_map.encode()), "the map shows the expected tiles")
    check(text in output, "demtiler prints the map of the occupied tiles")
    tiles, sized = archive_tiles("terrain.gnd")
    check(tiles == occupied and sized, f"the archive holds the {len(occupied)} occupied tiles")
    return back


def check_back_out(gdal, np, back, georeferenced_like=None):
    """GDAL reads back.raw through its header, and the GeoTIFF and the 16-bit
    PNG made from it hold the same heights."""
    raster = gdal.Open("back.raw")
    check(raster is not None and (raster.RasterXSize, raster.RasterYSize) == (WIDTH, HEIGHT)
          and raster.GetRasterBand(1).DataType == gdal.GDT_Float32,
          f"GDAL reads back.raw as {WIDTH} x {HEIGHT} 32-bit floats")
    check(raster is not None and np.array_equal(raster.ReadAsArray(), back),
          "GDAL reads every sample of back.raw")
    tif = gdal.Open("back.tif")
    check(np.array_equal(tif.ReadAsArray(), back), "back.tif holds every sample")
    png = gdal.Open("back16.png")
    check(png.GetRasterBand(1).DataType == gdal.GDT_UInt16
          and np.array_equal(png.ReadAsArray(), back), "back16.png holds every height in 16 bits")
    if georeferenced_like is not None:
        window = gdal.Open(georeferenced_like)
        check(np.allclose(tif.GetGeoTransform(), window.GetGeoTransform(), rtol=0, atol=1e-9)
              and tif.GetSpatialRef().IsSame(window.GetSpatialRef()),
              "back.tif lies where the window lay on the map")
        check(tif.GetRasterBand(1).GetNoDataValue() == 0, "back.tif marks the empty samples no-data")


# --- scenarios -------------------------------------------------------------------

def scenario_png16(tools, run):
    gdal, np = tools["gdal"], tools["np"]
    heights = png16_heights(np)
    save(gdal, "heights.png", heights, gdal.GDT_UInt16)
    output = run()
    if output is None:
        return
    raster = read_raster(np, "terrain.raw")
    check(np.array_equal(raster, heights.astype(np.float32)),
          "terrain.raw holds every grey level of the 16-bit PNG as its height")
    check(f"{WIDTH} x {HEIGHT}".encode() in output, "the size lines find the width and height")
    back = check_programs(np, output, raster)
    check(back[10, 160] == 49800 and back[11, 160] == HIGHEST_KEPT and back[12, 160] == 0
          and back[13, 160] == 0, "49800 and 65279 come back, 65280 and 65535 come back empty")
    check_back_out(gdal, np, back)


def scenario_png8(tools, run):
    gdal, np = tools["gdal"], tools["np"]
    levels = (png16_heights(np) % 256).astype(np.uint8)
    levels[0, 160] = 255
    save(gdal, "heights8.png", levels, gdal.GDT_Byte)
    output = run()
    if output is None:
        return
    check(np.array_equal(read_raster(np, "terrain.raw"), levels.astype(np.float32) * 100),
          "terrain.raw holds 100 times every grey level of the 8-bit PNG")
    check(f"{WIDTH} x {HEIGHT}".encode() in output, "the size lines find the width and height")


def scenario_numpy(tools, run):
    gdal, np = tools["gdal"], tools["np"]
    heights = png16_heights(np)
    save(gdal, "heights.png", heights, gdal.GDT_UInt16)
    output = run()
    if output is None:
        return
    check(np.array_equal(read_raster(np, "terrain.raw"), heights.astype(np.float32)),
          "the script writes every grey level as its height")
    check(output == f"{WIDTH} {HEIGHT}\n".encode(), "the script prints the width and height")


def scenario_imagemagick_trap(tools, run):
    gdal, np = tools["gdal"], tools["np"]
    heights = png16_heights(np)
    save(gdal, "heights.png", heights, gdal.GDT_UInt16)
    if run() is None:
        return
    wrong = read_raster(np, "wrong.raw")
    check(abs(wrong[10, 160] - 0.76) < 0.005 and wrong.max() <= 1.0,
          f"ImageMagick turns 49800 into 0.76 (it wrote {wrong[10, 160]}), all heights into 0 to 1")


def scenario_dem(tools, run):
    gdal, np = tools["gdal"], tools["np"]
    write_dem(gdal, np, tools["osr"])
    output = run()
    if output is None:
        return
    metres = dem_metres(np).astype(np.float32)
    expected = np.where(metres > 0, metres * 10, 0).astype(np.float32)
    raster = read_raster(np, "terrain.raw")
    check(np.array_equal(raster, expected),
          "terrain.raw holds the window's heights times 10, the sea and no-data empty")
    check(raster[102, 252] == 70000, "the 7000 m peak is 70000 in the raster")
    check(f"{WIDTH} x {HEIGHT}".encode() in output, "the size lines find the width and height")
    back = check_programs(np, output, raster, "x-4\r\ny-3\r\n--**0\r\n--**1\r\n--*-2\r\n\r\n5\r\n")
    check(back[102, 252] == 70000 % 65536, "the peak comes back from the image wrapped")
    check_back_out(gdal, np, back, georeferenced_like="window.tif")


# ---------------------------------------------------------------------------------

def load_tools(scenario):
    """GDAL's commands and Python bindings with numpy for every scenario,
    ImageMagick for the trap, Pillow for the script."""
    for command in ("gdal_translate", "gdalinfo") + (("gdal_calc.py",) if scenario == "dem" else ()):
        if shutil.which(command) is None:
            skip_or_fail(f"GDAL's {command} is not on the PATH")
    try:
        import numpy as np
        from osgeo import gdal, osr
    except ImportError:
        skip_or_fail(f"GDAL's Python bindings or numpy are missing for {sys.executable}")
    gdal.UseExceptions()
    if scenario == "numpy":
        try:
            import PIL  # noqa: F401
        except ImportError:
            skip_or_fail(f"Pillow is not installed for {sys.executable}")
    if scenario == "imagemagick-trap":
        probe = subprocess.run(["convert", "-version"], capture_output=True, text=True) \
            if shutil.which("convert") else None
        if probe is None or "ImageMagick" not in probe.stdout:
            skip_or_fail("ImageMagick's convert is not on the PATH")
    return {"gdal": gdal, "np": np, "osr": osr}


def make_folder(workdir, programs):
    """WORKDIR/bin with the built programs, WORKDIR/data to work in."""
    shutil.rmtree(workdir, ignore_errors=True)
    bin_folder, data = os.path.join(workdir, "bin"), os.path.join(workdir, "data")
    os.makedirs(bin_folder)
    os.makedirs(data)
    for program in programs:
        os.symlink(os.path.abspath(program), os.path.join(bin_folder, os.path.basename(program)))
    return bin_folder, data


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--list":
        check_blocks_all_run(read_blocks(sys.argv[2]))
        return 1 if failures else 0
    if len(sys.argv) != 8 or sys.argv[1] not in SCENARIOS:
        print(__doc__)
        return 2
    scenario, chapter, workdir = sys.argv[1], os.path.abspath(sys.argv[2]), sys.argv[3]
    programs, template = sys.argv[4:7], os.path.abspath(sys.argv[7])

    blocks = read_blocks(chapter)
    tools = load_tools(scenario)
    workdir = os.path.abspath(os.path.join(workdir, scenario))
    bin_folder, data = make_folder(workdir, programs)
    shutil.copy(template, os.path.join(data, "demtiler.dat"))
    os.chdir(data)

    globals()["scenario_" + scenario.replace("-", "_")](
        tools, lambda: run_blocks(scenario, blocks, data, bin_folder))

    if failures:
        print(f"{len(failures)} failed; the files are kept in {data}")
        return 1
    shutil.rmtree(workdir)
    print("all passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
