// demjoin end to end: both round trips with demtiler, byte for byte, and
// every failure with its code, its console text and the files it leaves.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "harness.hpp"

namespace {

using namespace e2e;

// The raster demjoin gives back: the listed tiles' samples, elsewhere 0.0.
std::string joined(const Raster& raster, const std::vector<TileIndex>& tiles, std::uint32_t width,
                   std::uint32_t height) {
  Raster back(width, height);
  for (const auto& [ty, tx] : tiles)
    for (std::uint32_t r = 72 * ty; r < 72 * ty + 76u; ++r)
      for (std::uint32_t c = 72 * tx; c < 72 * tx + 76u; ++c)
        back.set(r, c, raster.samples[std::size_t{r} * raster.width + c]);
  return back.bytes();
}

// An empty line, then the progress of tile rows 0 and 1.
const std::string two_rows = "\r\n     0\r     1\r";

class DemjoinRun : public testing::Test {
 protected:
  // The warnings and the failures' words go to the standard error.
  void SetUp() override {
    ws_.write("demtiler.dat", sample_template());
    ::setenv("DEMTOOLS_DIAGNOSTICS", "1", 1);
  }
  void TearDown() override { ::unsetenv("DEMTOOLS_DIAGNOSTICS"); }
  void settings(const std::string& archive, const std::string& raster, std::uint32_t w,
                std::uint32_t h) {
    ws_.write("demjoin.ini", crlf_lines({archive, raster, std::to_string(w), std::to_string(h)}));
  }
  RunResult join(std::string_view stdin_bytes = {}) {
    return run_changing_only(ws_, DEMJOIN_PATH, {"back.raw"}, stdin_bytes);
  }

  Workspace ws_;
};

// demtiler then demjoin gives the tiled samples back and prints demtiler's
// map; demjoin then demtiler gives the archive back.
TEST_F(DemjoinRun, RoundTripsOfWholeHeightsAreExact) {
  // Whole heights from -200000 to 200000, zeros among them, in four tiles.
  Raster raster(220, 148);
  for (std::uint32_t r = 0; r < 148; ++r)
    for (std::uint32_t c = 0; c < 220; ++c)
      if (r >= 76 || (c >= 76 && c < 144))
        raster.set(r, c, static_cast<float>((r * 99991 + c * 7919) % 400001) - 200000.0f);
  ws_.write("terrain.raw", raster.bytes());
  ws_.write("demtiler.ini", crlf_lines({"terrain.raw", "terrain.gnd", "220", "148"}));
  ASSERT_EQ(ws_.run(DEMTILER_PATH).status, 0);
  settings("terrain.gnd", "back.raw", 220, 148);
  EXPECT_EQ(join().out, "x-3\r\ny-2\r\n-*-0\r\n***1\r\n\r\n4\r\n" + two_rows);
  EXPECT_TRUE(ws_.read("back.raw") == joined(raster, {{0, 1}, {1, 0}, {1, 1}, {1, 2}}, 220, 148));
  ws_.write("demtiler.ini", crlf_lines({"back.raw", "again.gnd", "220", "148"}));
  ASSERT_EQ(ws_.run(DEMTILER_PATH).status, 0);
  EXPECT_TRUE(ws_.read("again.gnd") == ws_.read("terrain.gnd"));
  // Through a pipe, with both programs ending well: demjoin reads the archive to its end.
  ws_.write("demtiler.ini", crlf_lines({"terrain.raw", "", "220", "148"}));
  settings("", "piped.raw", 220, 148);
  const std::string pipe = "cd '" + ws_.dir().string() + "' && bash -o pipefail -c \"" +
                           shell_command(DEMTILER_PATH) + " | " + shell_command(DEMJOIN_PATH) +
                           "\" >/dev/null 2>&1";
  EXPECT_EQ(std::system(pipe.c_str()), 0);
  EXPECT_TRUE(ws_.read("piped.raw") == ws_.read("back.raw"));
}

TEST_F(DemjoinRun, SizeZeroFitsTheTilesAndStandardStreamsCarryTheData) {
  const Raster raster = example_raster();
  const std::string archive = expected_archive(raster, {{0, 1}, {1, 1}}, sample_template());
  settings("", "", 0, 0);  // 148 x 148: tile column 1 and tile row 1 are the last
  RunResult result = join(archive);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "x-2\r\ny-2\r\n-*0\r\n-*1\r\n\r\n2\r\n" + two_rows);
  EXPECT_TRUE(result.out == joined(raster, {{0, 1}, {1, 1}}, 148, 148));
  // No tile and no size: an empty raster.
  ws_.write("empty.gnd", expected_archive(raster, {}, sample_template()));
  settings("empty.gnd", "back.raw", 0, 0);
  EXPECT_EQ(join().out, "x-0\r\ny-0\r\n\r\n0\r\n\r\n");
  EXPECT_EQ(ws_.read("back.raw"), "");
}

TEST_F(DemjoinRun, LaterTileWinsOnSharedSamplesAndTheWarningCountsThem) {
  Raster raster(148, 76);
  raster.set(5, 73, 50.0f);  // column 73 lies in both tiles
  raster.set(2, 100, 9.0f);  // in the second tile alone
  std::string archive = expected_archive(raster, {{0, 0}, {0, 1}}, sample_template());
  // Tile (0, 1) holds 70 at its column 1, row 5.
  const std::size_t cell = 3808 + 32 + 123318 + 4 + (1 * 76 + 5) * 10 + 3;
  archive.replace(cell, 4, float_bytes({7.0f}));
  ws_.write("terrain.gnd", archive);
  settings("terrain.gnd", "back.raw", 148, 76);
  const RunResult result = join();
  raster.set(5, 73, 70.0f);
  EXPECT_TRUE(ws_.read("back.raw") == raster.bytes());
  EXPECT_NE(result.err.find("warning: 1 time a tile held a different height"), std::string::npos);
}

// Each failure of the archive: its code, the console up to it, the raster as
// far as it got (an older one untouched before creating it), the words naming
// what is wrong. The faults all programs share are in faults_test.cpp.
TEST_F(DemjoinRun, FailuresEndWithTheirCodeAndWords) {
  const Raster raster = example_raster();
  const std::string good = expected_archive(raster, {{0, 1}, {1, 0}, {1, 1}}, sample_template());
  const auto with = [&](std::size_t at, std::string bytes) {
    return std::string(good).replace(at, bytes.size(), bytes);
  };
  const std::string map = example_map + two_rows;
  const std::string band = joined(raster, {{0, 1}}, 220, 148).substr(0, 4 * 220 * 72);
  const std::size_t third_block = 3856 + 2 * 123318;
  struct Case {
    std::string archive, console;  // no archive at all when empty
    std::uint32_t width;
    int code;
    std::string words, raster;
  };
  const Case cases[] = {
      {"", "", 220, 2, "", "older"},
      {good.substr(0, 5), "", 220, 100, "ends early", "older"},
      {good.substr(0, 50), "", 220, 100, "ends early", "older"},
      {with(0, "PK"), "", 220, 13, "not a GND tile archive", "older"},
      {with(3, "\x0C"), "", 220, 13, "of version 12, where only", "older"},
      {with(24, u32_bytes(0)), "", 220, 13, "entry 2 of 3, tile row 0, column 0, comes after",
       "older"},
      {with(24, u32_bytes(0) + u32_bytes(1)), "", 220, 13, "repeats", "older"},
      {with(16, u32_bytes(3857)), "", 220, 13, "at bytes 3857 and", "older"},
      {good, "", 147, 201, "column 1 lies outside a raster of 147 x 148 samples; 148 x", "older"},
      {good.substr(0, third_block + 100), map, 220, 100, "ends early", band},
      {with(third_block + 7, u32_bytes(0x7F800001)), map, 220, 207, "", band},
  };
  for (const Case& c : cases) {
    ws_.write("terrain.gnd", c.archive);
    if (c.archive.empty()) std::filesystem::remove(ws_.at("terrain.gnd"));
    ws_.write("back.raw", "older");
    settings("terrain.gnd", "back.raw", c.width, 148);
    const RunResult result = join();
    EXPECT_EQ(result.out.substr(0, c.console.size()), c.console) << c.words;
    EXPECT_EQ(expect_run_error(result.out.substr(c.console.size()), c.code).size(), 8u);
    EXPECT_EQ(result.status, c.code) << c.words;
    EXPECT_NE(result.err.find(c.words), std::string::npos) << result.err;
    EXPECT_TRUE(ws_.read("back.raw") == c.raster) << c.words;
  }
}

TEST_F(DemjoinRun, BandMemoryThatCannotBeHadEndsWith203) {
  if (through_launcher()) GTEST_SKIP() << launcher_limit::memory;
  if (!address_space_limits_work) GTEST_SKIP() << "no address space limit under the sanitizer";
  ws_.write("terrain.gnd", expected_archive(example_raster(), {{0, 1}}, sample_template()));
  settings("terrain.gnd", "back.raw", 2000000, 148);  // a band of 608 MB
  const RunResult result = run_changing_only(ws_, DEMJOIN_PATH, {}, {}, 256 * 1024);
  EXPECT_EQ(result.status, 203);
  EXPECT_FALSE(ws_.exists("back.raw"));
}

}  // namespace
