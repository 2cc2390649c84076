// demtiler end to end: the built program in a fresh folder, with exact console
// bytes, exit status and files compared.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

#include "harness.hpp"

namespace {

using namespace e2e;

// The console text of the archive pass: an empty line, then per tile its
// row, column and number in fields of 6, each ended by a carriage return.
std::string progress(const std::vector<std::pair<int, int>>& tiles) {
  std::string text = "\r\n";
  int n = 0;
  for (const auto& [ty, tx] : tiles) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "%6d%6d%6d\r", ty, tx, ++n);
    text += entry;
  }
  return text;
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
  void SetUp() override { ws_.write("demtiler.dat", sample_template()); }

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
  EXPECT_EQ(result.out, example_map + progress({{0, 1}, {1, 0}, {1, 1}}));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);
}

TEST_F(DemtilerRun, SharedBorderSamplesOccupyBothNeighbours) {
  Raster raster(148, 76);
  raster.set(40, 73, 1.0f);  // column 73 lies in tile 0 (0..75) and tile 1 (72..147)
  write_settings("148", "76");
  write_raster(raster);
  EXPECT_EQ(run().out, "x-2\r\ny-1\r\n**0\r\n\r\n2\r\n" + progress({{0, 0}, {0, 1}}));
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
  EXPECT_EQ(run().out, "x-3\r\ny-1\r\n*-*0\r\n\r\n2\r\n" + progress({{0, 0}, {0, 2}}));
}

TEST_F(DemtilerRun, EmptyTileRowsPrintTheirNumber) {
  write_settings("292", "940");  // 4 tiles across, 13 down
  write_raster(Raster(292, 940));
  std::string expected = "x-4\r\ny-13\r\n";
  for (int ty = 0; ty < 13; ++ty) expected += "----" + std::to_string(ty) + "\r\n";
  EXPECT_EQ(run().out, expected + "\r\n0\r\n" + progress({}));
}

TEST_F(DemtilerRun, TileCountsAtTheirBoundaries) {
  write_raster(Raster(1, 1));
  write_settings("75", "3");
  EXPECT_EQ(run().out, "x-0\r\ny-0\r\n\r\n0\r\n" + progress({}));
  // Below 4 samples there are no tiles, rather than a wrapped count.
  write_settings("2", "0");
  EXPECT_EQ(run().out, "x-0\r\ny-0\r\n\r\n0\r\n" + progress({}));
  // Only the low 32 bits of a number count: -1 is 4294967295.
  write_settings("-1", "4294967296");
  EXPECT_EQ(run().out, "x-59652323\r\ny-0\r\n\r\n0\r\n" + progress({}));
  // With no tiles down, no map line is printed; with none across, only numbers.
  write_raster(Raster(3, 148));
  write_settings("3", "148");
  EXPECT_EQ(run().out, "x-0\r\ny-2\r\n0\r\n1\r\n\r\n0\r\n" + progress({}));
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

TEST_F(DemtilerRun, ShortRasterFailsWith100AtTheFirstIncompleteTile) {
  // Cut within the last window row of tile (1, 0), then within that of (1, 1),
  // then at column 200 of row 75: the band of tile row 0 comes up short, its
  // tiles are read window by window, and (0, 0) and (0, 1) are still whole.
  const std::string bytes = example_raster().bytes();
  write_settings("220", "148");
  for (const auto& [cut, printed] : {std::pair{raster_bytes_until(147, 40), "-*-0\r\n"},
                                     std::pair{raster_bytes_until(147, 100), "-*-0\r\n*"},
                                     std::pair{raster_bytes_until(75, 200), "-*"}}) {
    ws_.write("terrain.raw", bytes.substr(0, cut));
    const RunResult result = run();
    const std::string console = std::string("x-3\r\ny-2\r\n") + printed;
    ASSERT_EQ(result.out.substr(0, console.size()), console);
    expect_run_error(result.out.substr(console.size()), 100);
    EXPECT_EQ(result.status, 100);
    EXPECT_FALSE(ws_.exists("terrain.gnd"));
  }
}

TEST_F(DemtilerRun, FailedScanLeavesAnExistingArchiveUntouched) {
  ws_.write("terrain.gnd", "an older archive");
  ws_.write("terrain.raw", example_raster().bytes().substr(0, 1000));
  write_settings("220", "148");
  EXPECT_EQ(run().status, 100);
  EXPECT_EQ(ws_.read("terrain.gnd"), "an older archive");
}

TEST_F(DemtilerRun, LfOnlySettingsAreOneLineThatNamesNoFile) {
  write_raster(example_raster());
  ws_.write("demtiler.ini", "terrain.raw\nterrain.gnd\n220\n148\n");
  // The whole file is the raster path; the archive path is then empty, so the
  // console text goes to the standard error.
  const RunResult result = run();
  EXPECT_EQ(result.out, "");
  ASSERT_EQ(result.err.substr(0, 10), "x-0\r\ny-0\r\n");
  // Windows refuses a line feed in a file name outright: 123, invalid name.
  expect_run_error(result.err.substr(10), os_code(2, 123));
}

TEST_F(DemtilerRun, ReadOnlyRasterIsRead) {
  if (::geteuid() == 0)
    GTEST_SKIP() << "root reads any file; the layer's test of the access mode holds";
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
  const RunResult result = run_changing_only(ws_, DEMTILER_PATH, {}, example_raster().bytes());
  expect_run_error(result.out.substr(10), 132);
  EXPECT_EQ(result.status, 132);
}

TEST_F(DemtilerRun, ArchiveOnStandardOutputMovesTheConsoleToStandardError) {
  ws_.write("demtiler.ini", crlf_lines({"terrain.raw", "", "220", "148"}));
  write_raster(example_raster());
  const RunResult result = run_changing_only(ws_, DEMTILER_PATH, {});
  EXPECT_EQ(result.err.substr(0, example_map.size()), example_map);
  EXPECT_EQ(result.out.find("x-3"), std::string::npos);
}

TEST_F(DemtilerRun, ArchiveMatchesTheLayoutByteForByte) {
  write_settings("220", "148");
  const Raster raster = example_raster();
  write_raster(raster);
  ASSERT_EQ(run().status, 0);
  const std::string archive = ws_.read("terrain.gnd");
  EXPECT_EQ(archive.size(), 3808u + (16 + 123318) * 3);
  EXPECT_TRUE(archive == expected_archive(raster, {{0, 1}, {1, 0}, {1, 1}}, sample_template()));
  // Sample (10, 100) is row 10, column 28 of tile (0, 1): cell 28 * 76 + 10 of the first block.
  EXPECT_EQ(archive.substr(3856 + 4 + (28 * 76 + 10) * 10 + 3, 4), float_bytes({123.45f}));
  // Sample (100, 100) = -20 is row 28, column 28 of tile (1, 1), the third block.
  EXPECT_EQ(archive.substr(3856 + 2 * 123318 + 4 + (28 * 76 + 28) * 10 + 3, 4),
            float_bytes({-2.0f}));
}

TEST_F(DemtilerRun, NoOccupiedTilesGiveTheHeaderAndTemplateOnly) {
  write_settings("220", "148");
  write_raster(Raster(220, 148));
  const RunResult result = run();
  EXPECT_EQ(result.out, "x-3\r\ny-2\r\n---0\r\n---1\r\n\r\n0\r\n\r\n");
  EXPECT_EQ(ws_.read("terrain.gnd"),
            std::string("GND\x0B\0\0\0\0", 8) + sample_template().substr(0, 3800));
}

TEST_F(DemtilerRun, TemplateMissingUnreadableOrShortLeavesAnOlderArchiveUntouched) {
  write_settings("220", "148");
  write_raster(example_raster());
  const std::vector<std::pair<std::string, int>> templates = {
      {"missing", 2}, {"a folder", 5}, {"3799 bytes", 100}};
  for (const auto& [what, code] : templates) {
    SCOPED_TRACE(what);
    std::filesystem::remove(ws_.at("demtiler.dat"));
    if (code == 5) std::filesystem::create_directory(ws_.at("demtiler.dat"));
    if (code == 100) ws_.write("demtiler.dat", sample_template().substr(0, 3799));
    ws_.write("terrain.gnd", "an older archive");
    const Snapshot before = ws_.snapshot();
    const RunResult result = run();
    ASSERT_EQ(result.out.substr(0, example_map.size()), example_map);
    expect_run_error(result.out.substr(example_map.size()), code);
    EXPECT_EQ(result.status, code);
    EXPECT_EQ(ws_.snapshot(), before);
    std::filesystem::remove_all(ws_.at("demtiler.dat"));
  }
}

// Opens the writing end of the FIFO at `path` once a reader has opened it, or
// gives -1 after 20 seconds without one.
int open_fifo_for_writing(const std::filesystem::path& path) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (;;) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0 || std::chrono::steady_clock::now() > give_up) return fd;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

TEST_F(DemtilerRun, RasterShrinkingAfterTheMapFailsWith100AtTheMissingRow) {
  if (through_launcher()) GTEST_SKIP() << launcher_limit::fifo;
  // The template is a FIFO, so that the run waits between its two passes over
  // the raster until the test has cut the raster inside tile (1, 0).
  std::filesystem::remove(ws_.at("demtiler.dat"));
  ASSERT_EQ(::mkfifo(ws_.at("demtiler.dat").c_str(), 0644), 0);
  const Raster raster = example_raster();
  write_raster(raster);
  write_settings("220", "148");
  std::future<RunResult> run =
      std::async(std::launch::async, [&] { return ws_.run(DEMTILER_PATH); });
  const int fifo = open_fifo_for_writing(ws_.at("demtiler.dat"));
  ASSERT_GE(fifo, 0) << "demtiler never opened its template";
  std::filesystem::resize_file(ws_.at("terrain.raw"), raster_bytes_until(100, 0));
  const std::string template_bytes = sample_template();
  ASSERT_EQ(::write(fifo, template_bytes.data(), template_bytes.size()),
            static_cast<ssize_t>(template_bytes.size()));
  ::close(fifo);
  const RunResult result = run.get();

  const std::string console = example_map + progress({{0, 1}, {1, 0}});
  ASSERT_EQ(result.out.substr(0, console.size()), console);
  expect_run_error(result.out.substr(console.size()), 100);
  EXPECT_EQ(result.status, 100);
  const std::string archive = ws_.read("terrain.gnd");
  EXPECT_EQ(archive.size(), 3856u + 123318);
  EXPECT_TRUE(
      archive ==
      expected_archive(raster, {{0, 1}, {1, 0}, {1, 1}}, template_bytes).substr(0, 3856 + 123318));
}

TEST_F(DemtilerRun, ArchiveThatNamesAnInputIsRefusedWith32) {
  write_raster(example_raster());
  std::filesystem::create_hard_link(ws_.at("terrain.raw"), ws_.at("link.raw"));
  for (const std::string archive : {"terrain.raw", "./link.raw", "demtiler.dat"}) {
    ws_.write("demtiler.ini", crlf_lines({"terrain.raw", archive, "220", "148"}));
    const Snapshot before = ws_.snapshot();
    const RunResult result = ws_.run(DEMTILER_PATH);
    ASSERT_EQ(result.out.substr(0, example_map.size()), example_map) << archive;
    expect_run_error(result.out.substr(example_map.size()), 32);
    EXPECT_EQ(result.status, 32);
    EXPECT_TRUE(changed_files(before, ws_.snapshot()).empty()) << archive;
  }
}

TEST_F(DemtilerRun, SignallingNanEndsWith207BeforeItsBlockIsWritten) {
  Raster raster = example_raster();
  raster.set(20, 90, float_from_bits(0x7FC00001));   // quiet: passes through, tile (0, 1)
  raster.set(140, 10, float_from_bits(0x7F800001));  // signalling: tile (1, 0)
  write_settings("220", "148");
  write_raster(raster);
  const RunResult result = run();
  EXPECT_EQ(result.status, 207);
  const std::string archive = ws_.read("terrain.gnd");
  const std::string expected =
      expected_archive(raster, {{0, 1}, {1, 0}, {1, 1}}, sample_template());
  EXPECT_EQ(archive.size(), 3856u + 123318);
  EXPECT_TRUE(archive == expected.substr(0, archive.size()));
  const std::string console = example_map + progress({{0, 1}, {1, 0}});
  ASSERT_EQ(result.out.substr(0, console.size()), console);
  expect_run_error(result.out.substr(console.size()), 207);
}

TEST_F(DemtilerRun, ArchiveOnStandardOutputHoldsTheArchiveAlone) {
  ws_.write("demtiler.ini", crlf_lines({"terrain.raw", "", "220", "148"}));
  const Raster raster = example_raster();
  write_raster(raster);
  const RunResult result = run();
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(result.out == expected_archive(raster, {{0, 1}, {1, 0}, {1, 1}}, sample_template()));
  EXPECT_EQ(result.err, example_map + progress({{0, 1}, {1, 0}, {1, 1}}));
}

TEST_F(DemtilerRun, TooManyTilesForOneArchiveEndWith201AndKeepTheOldArchive) {
  // 187 x 187 = 34969 occupied tiles, past the 34824 that 32-bit offsets reach.
  // The raster is sparse: one sample per tile.
  constexpr std::uint32_t side = 72 * 187 + 4;
  {
    std::ofstream raster(ws_.at("terrain.raw"), std::ios::binary);
    const std::string one = float_bytes({1.0f});
    for (std::uint32_t ty = 0; ty < 187; ++ty) {
      for (std::uint32_t tx = 0; tx < 187; ++tx) {
        raster.seekp(static_cast<std::streamoff>(4 * ((72ull * ty + 1) * side + 72 * tx + 1)));
        raster.write(one.data(), 4);
      }
    }
  }
  std::filesystem::resize_file(ws_.at("terrain.raw"), 4ull * side * side);
  ws_.write("terrain.gnd", "an older archive");
  write_settings(std::to_string(side), std::to_string(side));
  // The raster is too large for a snapshot of its bytes.
  const Snapshot before = ws_.checksums();
  const RunResult result = ws_.run(DEMTILER_PATH);
  EXPECT_TRUE(changed_files(before, ws_.checksums()).empty());
  const std::string tail = "\r\n34969\r\n";
  const std::size_t at = result.out.find(tail);
  ASSERT_NE(at, std::string::npos);
  expect_run_error(result.out.substr(at + tail.size()), 201);
  EXPECT_EQ(ws_.read("terrain.gnd"), "an older archive");
}

TEST_F(DemtilerRun, WideTileRowIsMappedWrittenAndCutShortAcrossItsBands) {
  // 192 tiles across, more than one read of the raster takes: the row is read
  // in parts, and a sample on the 4 columns that tiles 95 and 96 share must
  // occupy both. Cut short inside the right part, the row fails at tile 180,
  // the first whose window reaches column 13000 of the last row.
  Raster raster(72 * 192 + 4, 76);
  raster.set(10, 72 * 96 + 1, 1234.5f);
  raster.set(75, 72 * 191 + 75, -20.0f);
  write_raster(raster);
  write_settings(std::to_string(raster.width), "76");
  std::string row(192, '-');
  row[95] = row[96] = row[191] = '*';
  RunResult result = run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            "x-192\r\ny-1\r\n" + row + "0\r\n\r\n3\r\n" + progress({{0, 95}, {0, 96}, {0, 191}}));
  EXPECT_TRUE(ws_.read("terrain.gnd") ==
              expected_archive(raster, {{0, 95}, {0, 96}, {0, 191}}, sample_template()));

  ws_.write("terrain.raw", raster.bytes().substr(0, 4 * (75 * std::size_t{raster.width} + 13000)));
  result = run();
  const std::string console = "x-192\r\ny-1\r\n" + row.substr(0, 180);
  ASSERT_EQ(result.out.substr(0, console.size()), console);
  expect_run_error(result.out.substr(console.size()), 100);
  EXPECT_EQ(result.status, 100);
}

TEST_F(DemtilerRun, SparseRasterPast2GiBIsTiledAtItsTrueOffsets) {
  // 24000 x 24000 samples, 2.3 GB, all empty but two small islands; the second
  // lies past the first 2 GiB of the file, where 32-bit positions would wrap.
  constexpr std::size_t side = 24000;
  const auto island_height = [](std::size_t row, std::size_t column) -> float {
    const bool first = row >= 10 && row < 20 && column >= 5000 && column < 5010;
    const bool second = row >= 23000 && row < 23010 && column >= 100 && column < 110;
    return first || second ? static_cast<float>(100 + row % 100 * 11 + column % 100) : 0.0f;
  };
  {
    std::ofstream raster(ws_.at("terrain.raw"), std::ios::binary);
    for (const auto& [top, left] : {std::pair<std::size_t, std::size_t>{10, 5000}, {23000, 100}}) {
      for (std::size_t row = top; row < top + 10; ++row) {
        std::vector<float> samples;
        for (std::size_t column = left; column < left + 10; ++column)
          samples.push_back(island_height(row, column));
        raster.seekp(static_cast<std::streamoff>(4 * (row * side + left)));
        raster.write(float_bytes(samples).data(), 40);
      }
    }
  }
  std::filesystem::resize_file(ws_.at("terrain.raw"), 4 * side * side);
  write_settings("24000", "24000");

  const Snapshot before = ws_.checksums();
  const RunResult result = ws_.run(DEMTILER_PATH);
  EXPECT_EQ(changed_files(before, ws_.checksums()), std::vector<std::string>{"terrain.gnd"});
  std::string map = "x-333\r\ny-333\r\n";
  for (int ty = 0; ty < 333; ++ty) {
    std::string row(333, '-');
    if (ty == 0) row[69] = '*';
    if (ty == 319) row[1] = '*';
    map += row + std::to_string(ty) + "\r\n";
  }
  EXPECT_TRUE(result.out == map + "\r\n2\r\n" + progress({{0, 69}, {319, 1}}));
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(ws_.read("terrain.gnd") ==
              expected_archive(island_height, {{0, 69}, {319, 1}}, sample_template()));
}

}  // namespace
