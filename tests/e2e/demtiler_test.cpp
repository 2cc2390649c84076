// demtiler end to end: the built program in a fresh folder, with exact console
// bytes, exit status and files compared.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "harness.hpp"

namespace {

using namespace e2e;

// A raster of width x height positive zeros, with some samples set.
struct Raster {
  std::uint32_t width, height;
  std::vector<float> samples;

  Raster(std::uint32_t w, std::uint32_t h) : width(w), height(h), samples(std::size_t{w} * h) {}
  void set(std::uint32_t row, std::uint32_t column, float value) {
    samples[std::size_t{row} * width + column] = value;
  }
  std::string bytes() const { return float_bytes(samples); }
};

// The 220 x 148 example: tiles (0, 1), (1, 0) and (1, 1) occupied.
Raster example_raster() {
  Raster raster(220, 148);
  raster.set(10, 100, 5.0f);
  raster.set(100, 30, 7.5f);
  raster.set(100, 100, -20.0f);
  return raster;
}

// Bytes of a 220-wide raster up to (not including) sample (row, column).
std::size_t raster_bytes_until(std::size_t row, std::size_t column) {
  return 4 * (row * 220 + column);
}

class DemtilerRun : public testing::Test {
 protected:
  void write_settings(const std::string& w, const std::string& h,
                      const std::string& raster = "terrain.raw") {
    ws_.write("demtiler.ini", crlf_lines({raster, "terrain.gnd", w, h}));
  }
  void write_raster(const Raster& raster) { ws_.write("terrain.raw", raster.bytes()); }

  // Runs demtiler and checks that no input changed.
  RunResult run() {
    const Snapshot before = ws_.snapshot();
    RunResult result = ws_.run(DEMTILER_PATH);
    for (const std::string& name : changed_files(before, ws_.snapshot()))
      EXPECT_EQ(name, "terrain.gnd") << "an input changed";
    return result;
  }

  Workspace ws_;
};

TEST_F(DemtilerRun, PrintsTileCountsMapAndOccupiedCount) {
  write_settings("220", "148");
  write_raster(example_raster());
  const RunResult result = run();
  EXPECT_EQ(result.out, "x-3\r\ny-2\r\n-*-0\r\n**-1\r\n\r\n3\r\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);
}

TEST_F(DemtilerRun, SharedBorderSamplesOccupyBothNeighbours) {
  Raster raster(148, 76);
  raster.set(40, 73, 1.0f);  // column 73 lies in tile 0 (0..75) and tile 1 (72..147)
  write_settings("148", "76");
  write_raster(raster);
  EXPECT_EQ(run().out, "x-2\r\ny-1\r\n**0\r\n\r\n2\r\n");
}

TEST_F(DemtilerRun, NegativeZeroAndNanArePresentSamples) {
  Raster raster(220, 76);
  float negative_zero = -0.0f;
  raster.set(0, 0, negative_zero);
  std::uint32_t nan_bits = 0x7FC00000;
  float nan;
  std::memcpy(&nan, &nan_bits, sizeof nan);
  raster.set(75, 219, nan);
  write_settings("220", "76");
  write_raster(raster);
  EXPECT_EQ(run().out, "x-3\r\ny-1\r\n*-*0\r\n\r\n2\r\n");
}

TEST_F(DemtilerRun, EmptyTileRowsPrintTheirNumber) {
  write_settings("292", "940");  // 4 tiles across, 13 down
  write_raster(Raster(292, 940));
  std::string expected = "x-4\r\ny-13\r\n";
  for (int ty = 0; ty < 13; ++ty) expected += "----" + std::to_string(ty) + "\r\n";
  EXPECT_EQ(run().out, expected + "\r\n0\r\n");
}

TEST_F(DemtilerRun, TileCountsAtTheirBoundaries) {
  write_raster(Raster(1, 1));
  write_settings("75", "3");
  EXPECT_EQ(run().out, "x-0\r\ny-0\r\n\r\n0\r\n");
  // Below 4 samples there are no tiles, rather than a wrapped count.
  write_settings("2", "0");
  EXPECT_EQ(run().out, "x-0\r\ny-0\r\n\r\n0\r\n");
  // Only the low 32 bits of a number count: -1 is 4294967295.
  write_settings("-1", "4294967296");
  EXPECT_EQ(run().out, "x-59652323\r\ny-0\r\n\r\n0\r\n");
  // With no tiles down, no map line is printed; with none across, only numbers.
  write_raster(Raster(3, 148));
  write_settings("3", "148");
  EXPECT_EQ(run().out, "x-0\r\ny-2\r\n0\r\n1\r\n\r\n0\r\n");
}

TEST_F(DemtilerRun, MissingSettingsFileEndsWithCode2) {
  const RunResult result = run();
  expect_run_error(result.out, 2);
  EXPECT_EQ(result.status, 2);
}

TEST_F(DemtilerRun, MissingRasterAndMissingDirectory) {
  write_settings("220", "148");
  RunResult result = run();
  ASSERT_EQ(result.out.substr(0, 10), "x-3\r\ny-2\r\n");
  const std::string missing_file_site = expect_run_error(result.out.substr(10), 2);
  EXPECT_EQ(result.status, 2);

  write_settings("220", "148", "nowhere/terrain.raw");
  result = run();
  EXPECT_EQ(expect_run_error(result.out.substr(10), 3), missing_file_site);
  EXPECT_EQ(result.status, 3);
}

TEST_F(DemtilerRun, MalformedNumberEndsWithCode106AtItsOwnSite) {
  write_settings("220px", "148");
  RunResult result = run();
  const std::string width_site = expect_run_error(result.out, 106);
  EXPECT_EQ(result.status, 106);

  write_settings("220", "14.8");
  result = run();
  EXPECT_NE(expect_run_error(result.out, 106), width_site);

  ws_.write("demtiler.ini", crlf_lines({"terrain.raw", "", "terrain.gnd", "220", "148"}));
  EXPECT_EQ(run().status, 106);
}

TEST_F(DemtilerRun, ShortRasterFailsWith100AfterTheMapSoFar) {
  std::string bytes = example_raster().bytes();
  // Cut within the last window row of tile (1, 0): row 147, column 0..75.
  bytes.resize(raster_bytes_until(147, 40));
  ws_.write("terrain.raw", bytes);
  write_settings("220", "148");
  const RunResult result = run();
  const std::string printed = "x-3\r\ny-2\r\n-*-0\r\n";
  ASSERT_EQ(result.out.substr(0, printed.size()), printed);
  expect_run_error(result.out.substr(printed.size()), 100);
  EXPECT_EQ(result.status, 100);
  EXPECT_FALSE(ws_.exists("terrain.gnd"));
}

TEST_F(DemtilerRun, LfOnlySettingsAreOneLineThatNamesNoFile) {
  write_raster(example_raster());
  ws_.write("demtiler.ini", "terrain.raw\nterrain.gnd\n220\n148\n");
  // The whole file is the raster path; the archive path is then empty, so the
  // console text goes to the standard error.
  const RunResult result = run();
  EXPECT_EQ(result.out, "");
  ASSERT_EQ(result.err.substr(0, 10), "x-0\r\ny-0\r\n");
  expect_run_error(result.err.substr(10), 2);
}

TEST_F(DemtilerRun, ReadOnlyRasterIsRead) {
  write_settings("220", "148");
  write_raster(example_raster());
  std::filesystem::permissions(ws_.at("terrain.raw"), std::filesystem::perms::owner_read);
  EXPECT_EQ(run().status, 0);
}

TEST_F(DemtilerRun, RasterThatIsADirectoryIsRefusedWith5) {
  std::filesystem::create_directory(ws_.at("terrain.raw"));
  write_settings("220", "148");
  const RunResult result = run();
  expect_run_error(result.out.substr(10), 5);
}

TEST_F(DemtilerRun, RasterOnAPipeCannotBePositioned) {
  write_settings("220", "148", "");
  const RunResult result = ws_.run(DEMTILER_PATH, example_raster().bytes());
  expect_run_error(result.out.substr(10), 132);
  EXPECT_EQ(result.status, 132);
}

TEST_F(DemtilerRun, ArchiveOnStandardOutputMovesTheConsoleToStandardError) {
  ws_.write("demtiler.ini", crlf_lines({"terrain.raw", "", "220", "148"}));
  write_raster(example_raster());
  const RunResult result = ws_.run(DEMTILER_PATH);
  EXPECT_EQ(result.err.substr(0, 27), "x-3\r\ny-2\r\n-*-0\r\n**-1\r\n\r\n3\r\n");
  EXPECT_EQ(result.out.find("x-3"), std::string::npos);
}

}  // namespace
