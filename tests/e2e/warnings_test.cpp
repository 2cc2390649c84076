// Warnings for the silent mistakes: settings that do not fit the data,
// heights that will not come back, retouching that makes heights up, and the
// wrong file or folder. Each case runs three times: with the standard error on
// a terminal, piped with DEMTOOLS_DIAGNOSTICS=1, and piped without it. The
// first two must show the same lines; the third must leave the standard error
// empty; and all three must print the same console bytes, end with the same
// status and leave the same files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "harness.hpp"
#include "terminal_run.hpp"

namespace {

using namespace e2e;

constexpr const char* dempaint = DEMPAINT_PATH;
constexpr const char* demscan = DEMSCAN_PATH;
constexpr const char* demtiler = DEMTILER_PATH;

const std::string line_end_rule =
    "settings lines must end with CR or CR LF, and a lone LF does not end a line";

struct Diagnosed {
  int status = -1;
  std::string console;  // the standard output
  std::string words;    // what the standard error showed
};

TerminalRun run_asking(const Workspace& ws, const char* program,
                       const std::vector<std::string>& args) {
  ::setenv("DEMTOOLS_DIAGNOSTICS", "1", 1);
  TerminalRun run = run_attached(program, args, ws.dir(), Attach::pipe, Attach::pipe);
  ::unsetenv("DEMTOOLS_DIAGNOSTICS");
  return run;
}

// Runs `program` the three ways and checks that only the standard error
// differs between them; the files are compared after each run, since every
// run writes its outputs anew.
Diagnosed run_three_ways(const Workspace& ws, const char* program,
                         const std::vector<std::string>& args = {}) {
  ::unsetenv("DEMTOOLS_DIAGNOSTICS");
  const TerminalRun quiet = run_attached(program, args, ws.dir(), Attach::pipe, Attach::pipe);
  const Snapshot quiet_files = ws.snapshot();
  const TerminalRun asked = run_asking(ws, program, args);
  EXPECT_EQ(ws.snapshot(), quiet_files);
  if (through_launcher()) {
    std::cout << "terminal run left out: " << launcher_limit::terminal << "\n";
  } else {
    const TerminalRun terminal =
        run_attached(program, args, ws.dir(), Attach::pipe, Attach::terminal);
    EXPECT_EQ(ws.snapshot(), quiet_files);
    EXPECT_EQ(terminal.terminal, asked.err);
    EXPECT_EQ(terminal.out, quiet.out);
    EXPECT_EQ(terminal.status, quiet.status);
  }

  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(asked.out, quiet.out);
  EXPECT_EQ(asked.status, quiet.status);
  return {quiet.status, quiet.out, asked.err};
}

std::string warning(std::string_view program, std::string_view text) {
  return std::string(program) + ": warning: " + std::string(text) + "\n";
}

// What dempaint prints for a run over `rows` rows.
std::string paint_console(int rows) {
  std::string text;
  for (int r = 1; r <= rows; ++r) text += std::to_string(r) + "\r";
  text += "\r\n\r\n";
  for (int r = rows; r >= 1; --r) text += std::to_string(r) + "\r";
  return text + "\r\n\r\n";
}

class Warnings : public testing::Test {
 protected:
  Workspace ws_;
};

TEST_F(Warnings, AWidthOneOffNamesTheSizeThatFits) {
  // A raster 5 x 3 read as 4 x 3: the picture is sheared, the run ends well.
  std::vector<float> samples(15, 100.0f);
  ws_.write("terrain.raw", float_bytes(samples));
  ws_.write("dempaint.ini", crlf_lines({"terrain.raw", "terrain.tga", "4", "3"}));
  ws_.write("demtiler.dat", std::string(3800, '\0'));
  ws_.write("demtiler.ini", crlf_lines({"terrain.raw", "terrain.gnd", "4", "3"}));
  const std::string size_words =
      "the raster \"terrain.raw\" holds 15 samples, the settings ask for 4 x 3 = 12; 5 x 3 would "
      "use it exactly";

  const Diagnosed paint = run_three_ways(ws_, dempaint);
  EXPECT_EQ(paint.status, 0);
  EXPECT_EQ(paint.console, paint_console(3));
  EXPECT_EQ(paint.words, warning("dempaint", size_words));
  EXPECT_EQ(ws_.read("terrain.tga").size(), 18u + 12u * 4u);

  const Diagnosed tile = run_three_ways(ws_, demtiler);
  EXPECT_EQ(tile.status, 0);
  EXPECT_EQ(tile.words, warning("demtiler", size_words));

  // Too short a raster fails, and the warning follows the failure's words.
  ws_.write("dempaint.ini", crlf_lines({"terrain.raw", "terrain.tga", "4", "5"}));
  const Diagnosed short_raster = run_three_ways(ws_, dempaint);
  EXPECT_EQ(short_raster.status, 100);
  EXPECT_EQ(short_raster.words,
            "dempaint: cannot read raster \"terrain.raw\": the file ends early\n" +
                warning("dempaint",
                        "the raster \"terrain.raw\" holds 15 samples, the settings ask for 4 x 5 "
                        "= 20; 3 x 5 would use it exactly"));

  // A size that is no whole number of samples, and one that fits: no size warning.
  ws_.write("terrain.raw", float_bytes(samples) + "xy");
  EXPECT_EQ(run_three_ways(ws_, demtiler).words,
            warning("demtiler",
                    "the raster \"terrain.raw\" is 62 bytes, not a whole number of 4-byte samples; "
                    "the settings ask for 4 x 3 = 12"));
  ws_.write("demtiler.ini", crlf_lines({"terrain.raw", "terrain.gnd", "5", "3"}));
  ws_.write("terrain.raw", float_bytes(samples));
  EXPECT_EQ(run_three_ways(ws_, demtiler).words, "");
}

TEST_F(Warnings, NumberLinesWithLoneLineFeedsOrMissingPointAtTheLineEnds) {
  std::vector<float> samples(15, 100.0f);
  ws_.write("terrain.raw", float_bytes(samples));
  // The width line ends with a lone LF, so the height line is part of it.
  ws_.write("dempaint.ini", "terrain.raw\r\nterrain.tga\r\n5\n3\n");
  const Diagnosed paint = run_three_ways(ws_, dempaint);
  EXPECT_EQ(paint.status, 0);
  EXPECT_EQ(ws_.read("terrain.tga").size(), 18u) << "an image of height 0";
  EXPECT_EQ(paint.words,
            warning("dempaint",
                    "the width 5 comes from a line of dempaint.ini that holds a lone "
                    "LF, and the rest of that line was skipped: " +
                        line_end_rule) +
                warning("dempaint",
                        "dempaint.ini has no height line, so the height is 0: " + line_end_rule) +
                warning("dempaint",
                        "the raster \"terrain.raw\" holds 15 samples, the settings ask for 5 x 0 "
                        "= 0; 5 x 3 would use it exactly"));

  ws_.write("demtiler.ini", crlf_lines({"terrain.raw", "terrain.gnd", "5"}));
  ws_.write("demtiler.dat", std::string(3800, '\0'));
  EXPECT_EQ(run_three_ways(ws_, demtiler).words,
            warning("demtiler",
                    "demtiler.ini has no height line, so the height is 0: the file ends "
                    "before it") +
                warning("demtiler",
                        "the raster \"terrain.raw\" holds 15 samples, the settings ask for 5 x 0 "
                        "= 0; 5 x 3 would use it exactly"));

  ws_.write("terrain.tga", std::string("\0\0\2\0\0\0\0\0\0\0\0\0\1\0\1\0\x20\x08", 18) +
                               std::string("\1\1\0\0", 4));
  ws_.write("demscan.ini", "terrain.tga\r\nback.raw\r\n1\n");
  EXPECT_EQ(run_three_ways(ws_, demscan).words,
            warning("demscan",
                    "the mode 1 comes from a line of demscan.ini that holds a lone LF, "
                    "and the rest of that line was skipped: " +
                        line_end_rule));
}

TEST_F(Warnings, SettingsSavedByWindowsEditorsReadOrSayHowToSaveThem) {
  ws_.write("terrain.raw", float_bytes({1.0f, 2.0f}));
  const std::string settings = crlf_lines({"terrain.raw", "terrain.tga", "2", "1"});
  ws_.write("dempaint.ini", "\xEF\xBB\xBF" + settings);  // Notepad's "UTF-8 with BOM"
  const Diagnosed bom = run_three_ways(ws_, dempaint);
  EXPECT_EQ(bom.status, 0);
  EXPECT_EQ(bom.words, "");
  const std::string image = ws_.read("terrain.tga");

  std::string utf16 = "\xFF\xFE";  // Notepad's "Unicode"
  for (const char c : settings) utf16 += std::string{c, '\0'};
  ws_.write("dempaint.ini", utf16);
  const Diagnosed unicode = run_three_ways(ws_, dempaint);
  expect_run_error(unicode.console, 31);
  EXPECT_EQ(unicode.words,
            "dempaint: cannot read settings file \"dempaint.ini\": it was saved as "
            "UTF-16 (\"Unicode\"): save it as UTF-8 or ANSI\n");
  EXPECT_EQ(ws_.read("terrain.tga"), image);
}

TEST_F(Warnings, RastersAsGdalAndNumpyWriteThemByDefaultAreNamed) {
  // The size of 64-bit floats (numpy's default, gdal_translate -ot Float64).
  ws_.write("terrain.raw", float_bytes(std::vector<float>(12, 1.0f)));
  ws_.write("dempaint.ini", crlf_lines({"terrain.raw", "terrain.tga", "3", "2"}));
  EXPECT_EQ(run_three_ways(ws_, dempaint).words,
            warning("dempaint",
                    "the raster \"terrain.raw\" holds 12 samples, the settings ask for 3 x 2 = 6; "
                    "it is 8 x 3 x 2 bytes, so it looks like 64-bit samples: write 32-bit ones "
                    "(gdal_translate -ot Float32, numpy astype('<f4'))"));

  // GDAL's Float32 no-data value, left in by a recipe without its no-data step.
  ws_.write("terrain.raw", float_bytes({1.0f, 2.0f, 3.0f, 4.0f, 5.0f, -3.4028235e38f}));
  const Diagnosed no_data = run_three_ways(ws_, dempaint);
  EXPECT_EQ(no_data.status, 207);
  EXPECT_EQ(no_data.words,
            "dempaint: cannot convert raster: the sample at row 1, column 2 (from 0) is "
            "-3.4028235e+38, which has no whole number to paint: make no-data samples 0 as in "
            "\"From an elevation model\", docs/height-rasters.md\n");
}

TEST_F(Warnings, HeightsOutsideTheRoundTripAreCountedWithWhatTheyComeBackAs) {
  ws_.write("dempaint.ini", crlf_lines({"terrain.raw", "terrain.tga", "3", "2"}));
  // -0.5 and 65279.9 truncate into the range; -1 and 65280 do not.
  ws_.write("terrain.raw", float_bytes({-0.5f, 65279.9f, -1.0f, 65280.0f, -300.0f, 70000.5f}));
  const Diagnosed paint = run_three_ways(ws_, dempaint);
  EXPECT_EQ(paint.status, 0);
  EXPECT_EQ(paint.words,
            warning("dempaint",
                    "4 samples lie outside 0 ... 65279, the heights that come back from demscan in "
                    "mode 0: the lowest, -300, comes back as 65236, the highest, 70000.5, as "
                    "4464"));

  ws_.write("terrain.raw", float_bytes({1.0f, 2.0f, -256.0f, 4.0f, 5.0f, 6.0f}));
  EXPECT_EQ(run_three_ways(ws_, dempaint).words,
            warning("dempaint",
                    "1 sample lies outside 0 ... 65279, the heights that come back from demscan in "
                    "mode 0: -256 comes back as 0 (empty)"));

  ws_.write("terrain.raw", float_bytes({0.0f, 2.0f, 65279.0f, 4.0f, 5.0f, 6.0f}));
  EXPECT_EQ(run_three_ways(ws_, dempaint).words, "");
}

TEST_F(Warnings, PixelsDempaintNeverPaintsAreCountedFromTheTopLeft) {
  ws_.write("dempaint.ini", crlf_lines({"terrain.raw", "terrain.tga", "3", "3"}));
  ws_.write("terrain.raw", float_bytes({1, 2, 3, 4, 5, 6, 7, 8, 9}));
  ASSERT_EQ(ws_.run(dempaint).status, 0);
  std::string image = ws_.read("terrain.tga");
  // Stored bottom row first: pixel (x, y) from the top left is at row 2 - y.
  const auto green_of = [&](int x, int y) -> char& {
    return image[18 + ((2 - y) * 3 + x) * 4 + 1];
  };
  green_of(2, 0) = 0x40;  // the first, top right
  green_of(0, 2) = 0x40;
  // Red 255 over (1, 1) is empty, whatever green holds: not counted.
  image[18 + 4 * 4 + 1] = 0x40;
  image[18 + 4 * 4 + 2] = '\xFF';
  // Saved again with 24-bit pixels, the rows are unpacked before they are
  // decoded, on another path: the same words.
  std::string narrow = image.substr(0, 18);
  narrow[16] = 24;
  narrow[17] = 0;
  for (std::size_t at = 18; at < image.size(); at += 4) narrow += image.substr(at, 3);

  ws_.write("demscan.ini", crlf_lines({"retouched.tga", "back.raw", "0"}));
  for (const std::string& saved : {image, narrow}) {
    ws_.write("retouched.tga", saved);
    const Diagnosed scan = run_three_ways(ws_, demscan);
    EXPECT_EQ(scan.status, 0);
    EXPECT_EQ(scan.words, warning("demscan",
                                  "2 pixels hold colours that dempaint never paints (red below 255 "
                                  "and green unlike blue), the first at x 2, y 0 from the top-left "
                                  "corner: blending or painting made up their heights; retouch "
                                  "with hard edges only, and pure red for empty"));
  }

  // Green is a height offset in the other modes, so nothing is counted there.
  ws_.write("demscan.ini", crlf_lines({"retouched.tga", "back.raw", "1"}));
  EXPECT_EQ(run_three_ways(ws_, demscan).words, "");
}

TEST_F(Warnings, APictureWhoseEverySampleIsEmptyIsNamed) {
  // A picture flattened onto white: every pixel FF FF FF.
  ws_.write("white.tga",
            std::string("\0\0\2\0\0\0\0\0\0\0\0\0\2\0\2\0\x20\x08", 18) + std::string(16, '\xFF'));
  ws_.write("demscan.ini", crlf_lines({"white.tga", "back.raw", "0"}));
  const Diagnosed scan = run_three_ways(ws_, demscan);
  EXPECT_EQ(scan.status, 0);
  EXPECT_EQ(ws_.read("back.raw"), std::string(16, '\0'));
  EXPECT_EQ(scan.words,
            warning("demscan",
                    "all 4 samples came back empty: a picture flattened onto a background while "
                    "its pixels were transparent takes the background's colour, and white, like "
                    "any colour of red 255, reads as empty"));

  // One height in the top row, read first, is enough to say nothing.
  ws_.write("white.tga", std::string("\0\0\2\0\0\0\0\0\0\0\0\0\2\0\2\0\x20\x08", 18) +
                             std::string(8, '\xFF') + std::string("\1\1\0\0", 4) +
                             std::string(4, '\xFF'));
  EXPECT_EQ(run_three_ways(ws_, demscan).words, "");
}

TEST_F(Warnings, TheWrongFolderOrASettingsFileAsArgumentIsNamed) {
  std::string folder = std::filesystem::canonical(ws_.dir()).string();
  std::string not_found = "No such file or directory";
  if (through_launcher()) {
    // A Windows program names the folder by its drive, and Wine says the rest.
    std::replace(folder.begin(), folder.end(), '/', '\\');
    folder = "Z:" + folder;
    not_found = "File not found.";
  }
  const Diagnosed missing = run_three_ways(ws_, dempaint, {"work/dempaint.ini", "\x1b[2J"});
  EXPECT_EQ(missing.status, 2);
  expect_run_error(missing.console, 2);
  EXPECT_EQ(missing.words, "dempaint: cannot open settings file \"dempaint.ini\": " + not_found +
                               " (looked in " + folder + "; see --help)\n" +
                               warning("dempaint",
                                       "\"work/dempaint.ini\" \"\\x1B[2J\" ignored: reads "
                                       "dempaint.ini in the working folder"));
}

TEST_F(Warnings, AnImageOfAnotherFormatOrKindIsNamedWithWhereGreyHeightsBelong) {
  const auto tga = [](char type, char depth) {
    return std::string("\0\0", 2) + type + std::string(13, '\0') + depth + '\0';
  };
  const std::vector<std::pair<std::string, std::string>> formats = {
      {"a PNG file", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16)},
      {"a JPEG file", "\xFF\xD8\xFF\xE0\x00\x10JFIF"},
      {"a GIF file", "GIF89a\x02\x00\x02\x00"},
      {"a BMP file", "BM\x46\x00\x00\x00"},
      {"a grey 8-bit image", tga(3, 8)},  // ImageMagick's TGA of a grey PNG
      {"a colour-mapped 8-bit image", tga(1, 8)},
      {"a colour 16-bit image", tga(2, 16)}};
  ws_.write("demscan.ini", crlf_lines({"picture.tga", "back.raw", "0"}));
  for (const auto& [what, header] : formats) {
    SCOPED_TRACE(what);
    ws_.write("picture.tga", header + std::string(32, '\0'));
    const Diagnosed scan = run_three_ways(ws_, demscan);
    EXPECT_EQ(scan.status, 13);
    expect_run_error(scan.console, 13);
    EXPECT_EQ(scan.words,
              "demscan: cannot read image \"picture.tga\": this is " + what +
                  ", not a height image (a 24- or 32-bit colour TGA from dempaint): grey "
                  "heights make a height raster, see \"Getting a height raster\" in "
                  "docs/height-rasters.md\n");
  }
  // A header of no known format keeps the general words.
  ws_.write("picture.tga", std::string("\0\0\7\0\0\0\0\0\0\0\0\0\1\0\1\0\x08\x00", 18) + "x");
  EXPECT_EQ(run_three_ways(ws_, demscan).words, "demscan: image layout not supported (error 13)\n");
}

}  // namespace
