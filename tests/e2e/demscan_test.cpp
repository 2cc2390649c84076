// demscan end to end: the built program in a fresh folder, with exact console
// bytes, exit status and raster bytes compared; and round trips through
// dempaint.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "harness.hpp"

namespace {

using namespace e2e;

using Pixel = std::array<std::uint8_t, 4>;  // blue, green, red, alpha

// A picture as one sees it: rows from the top, pixels from the left.
struct Picture {
  std::uint16_t width, height;
  std::vector<Pixel> pixels;
  const Pixel& at(int row, int column) const { return pixels[row * width + column]; }
};

std::string stored_pixel(const Pixel& p, std::uint8_t depth) {
  return std::string(reinterpret_cast<const char*>(p.data()), depth / 8);
}

// The pixels in the order the layout stores them.
std::vector<Pixel> stored_order(const Picture& picture, const TgaLayout& layout) {
  std::vector<Pixel> stream;
  for (int i = 0; i < picture.height; ++i) {
    const int row = layout.top_row_first ? i : picture.height - 1 - i;
    for (int j = 0; j < picture.width; ++j)
      stream.push_back(picture.at(row, layout.right_to_left ? picture.width - 1 - j : j));
  }
  return stream;
}

// Packets over the whole pixel stream, so that they run on across row ends:
// a run of 2 to 128 equal pixels, or 1 to 128 pixels stored as they are.
std::string run_length_encode(const std::vector<Pixel>& stream, std::uint8_t depth) {
  std::string bytes;
  std::size_t i = 0;
  while (i < stream.size()) {
    std::size_t run = 1;
    while (i + run < stream.size() && run < 128 && stream[i + run] == stream[i]) ++run;
    if (run >= 2) {
      bytes += static_cast<char>(0x80 | (run - 1));
      bytes += stored_pixel(stream[i], depth);
      i += run;
      continue;
    }
    std::size_t count = 1;
    while (i + count < stream.size() && count < 128 &&
           !(i + count + 1 < stream.size() && stream[i + count] == stream[i + count + 1]))
      ++count;
    bytes += static_cast<char>(count - 1);
    for (std::size_t k = 0; k < count; ++k) bytes += stored_pixel(stream[i + k], depth);
    i += count;
  }
  return bytes;
}

std::string tga_file(const Picture& picture, const TgaLayout& layout) {
  std::string bytes = tga_header(picture.width, picture.height, layout);
  const std::vector<Pixel> stream = stored_order(picture, layout);
  if (layout.type == 10) {
    bytes += run_length_encode(stream, layout.depth);
  } else {
    for (const Pixel& p : stream) bytes += stored_pixel(p, layout.depth);
  }
  return bytes + layout.footer;
}

// The samples of a picture, top row first, by the decoding table.
std::string expected_raster(const Picture& picture, bool green_offset) {
  std::vector<float> samples;
  for (const Pixel& p : picture.pixels) {
    const int offset = green_offset ? p[1] - 127 : 0;
    samples.push_back(p[2] == 255 ? 0.0f : static_cast<float>(256 * p[2] + p[0] + offset));
  }
  return float_bytes(samples);
}

// 5 x 4 pixels with runs and single pixels at row ends, so that packets cross
// rows in every storing order; the alpha bytes are noise.
Picture sample_picture() {
  const Pixel a{1, 2, 3, 9}, b{4, 5, 6, 0}, c{7, 8, 9, 1}, d{10, 200, 11, 2}, e{12, 13, 255, 3};
  const Pixel f{14, 15, 16, 4}, g{17, 18, 19, 5}, h{0xD2, 0xD2, 0x04, 6}, i{20, 127, 21, 7};
  const Pixel j{22, 23, 24, 8}, k{25, 26, 27, 9}, l{28, 29, 30, 0}, m{31, 32, 33, 1};
  const Pixel n{0xFF, 0xFF, 0xFE, 2};
  return {5, 4, {a, b, c, d, e, f, g, h, h, h, h, h, h, h, i, j, k, l, m, n}};
}

// The console of a run over `rows` rows whose writing phase prints `written`.
std::string transcript(int rows, const std::vector<int>& written) {
  std::string text;
  for (int r = 1; r <= rows; ++r) text += std::to_string(r) + "\r\r\n";
  text += "\r\n\r\n";
  for (const int r : written) text += std::to_string(r) + "\r";
  return text + "\r\n\r\n";
}

std::vector<int> bottom_up(int rows) {
  std::vector<int> order;
  for (int r = rows; r >= 1; --r) order.push_back(r);
  return order;
}

class DemscanRun : public testing::Test {
 protected:
  void write_settings(const std::string& mode, const std::string& raster = "terrain.raw") {
    ws_.write("demscan.ini", crlf_lines({"terrain.tga", raster, mode}));
  }
  RunResult run(std::size_t memory_kib = 0) {
    return run_changing_only(ws_, DEMSCAN_PATH, {"terrain.raw"}, {}, memory_kib);
  }
  RunResult run_touching_nothing() { return run_changing_only(ws_, DEMSCAN_PATH, {}); }

  Workspace ws_;
};

TEST_F(DemscanRun, DecodesTheStoredRowsFromTheLastToTheFirst) {
  const std::string pixels("\x03\x03\x00\x00\x04\x04\x00\x00\x01\x01\x00\x00\x02\x02\x00\x00", 16);
  ws_.write("terrain.tga", tga_header(2, 2) + pixels);
  write_settings("0");
  RunResult result = run();
  EXPECT_EQ(ws_.read("terrain.raw"), float_bytes({1.0f, 2.0f, 3.0f, 4.0f}));
  EXPECT_EQ(result.out, transcript(2, {2, 1}));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);

  ws_.write("terrain.tga", tga_header(1, 3) + pixels.substr(0, 12));
  result = run();
  EXPECT_EQ(result.out, "1\r\r\n2\r\r\n3\r\r\n\r\n\r\n3\r2\r1\r\r\n\r\n");
  EXPECT_EQ(ws_.read("terrain.raw"), float_bytes({1.0f, 4.0f, 3.0f}));
}

TEST_F(DemscanRun, DecodesThePixelTableInBothModes) {
  const Picture table{5,
                      1,
                      {{{0xD2, 0xD2, 0x04, 0}},
                       {{0x00, 0x7F, 0x10, 0}},
                       {{0, 0, 0, 0}},
                       {{0xFF, 0xFF, 0xFE, 0}},
                       {{0x12, 0x34, 0xFF, 0x99}}}};
  ws_.write("terrain.tga", tga_file(table, {}));
  const std::string plain = float_bytes({1234.0f, 4096.0f, 0.0f, 65279.0f, 0.0f});
  const std::string green = float_bytes({1317.0f, 4096.0f, -127.0f, 65407.0f, 0.0f});
  for (const auto& [mode, expected] : {std::pair{"0", plain},
                                       {"1", green},
                                       {"65536", plain},
                                       {"-1", green},
                                       {"$20000 with a note", plain}}) {
    write_settings(mode);
    EXPECT_EQ(run().status, 0);
    EXPECT_EQ(ws_.read("terrain.raw"), expected) << "mode " << mode;
  }
}

TEST_F(DemscanRun, ReadsThePictureInEveryLayoutAPaintProgramSaves) {
  const Picture picture = sample_picture();
  const std::string footer = std::string(8, '\0') + "TRUEVISION-XFILE." + '\0';
  const std::vector<std::pair<std::string, TgaLayout>> layouts = {
      {"as painted", {}},
      {"run-length encoded", {.type = 10}},
      {"24 bits", {.depth = 24}},
      {"top row first", {.top_row_first = true}},
      {"right to left", {.right_to_left = true}},
      {"with an ID field", {.id = "retouched"}},
      {"with a colour map", {.colour_map_entries = 3, .colour_map_entry_bits = 15}},
      {"with a footer", {.footer = footer}},
      {"all at once", {10, 24, true, true, "id", 2, 24, footer}},
  };
  write_settings("1");
  for (const auto& [name, layout] : layouts) {
    ws_.write("terrain.tga", tga_file(picture, layout));
    const RunResult result = run();
    EXPECT_EQ(result.status, 0) << name;
    EXPECT_EQ(ws_.read("terrain.raw"), expected_raster(picture, true)) << name;
    // The writing phase names the stored row it writes.
    EXPECT_EQ(result.out,
              transcript(4, layout.top_row_first ? std::vector{1, 2, 3, 4} : bottom_up(4)))
        << name;
    // Through a pipe, read once and held in memory: the same console and raster.
    ws_.write("demscan.ini", crlf_lines({"", "terrain.raw", "1"}));
    const RunResult piped =
        run_changing_only(ws_, DEMSCAN_PATH, {"terrain.raw"}, tga_file(picture, layout));
    EXPECT_EQ(piped.out, result.out) << name;
    EXPECT_EQ(ws_.read("terrain.raw"), expected_raster(picture, true)) << name;
    write_settings("1");
  }
}

TEST_F(DemscanRun, UnreadableLayoutsAndShortHeadersLeaveAnOlderRasterUntouched) {
  const Picture picture = sample_picture();
  const std::vector<std::pair<std::string, int>> images = {
      {tga_file(picture, {.type = 3}), 13},
      {tga_file(picture, {.depth = 16}), 13},
      {tga_file(picture, {.type = 1, .colour_map_entries = 2, .colour_map_entry_bits = 24}), 13},
      {tga_file(picture, {}).substr(0, 17), 100},
      {tga_file(picture, {.id = "abc"}).substr(0, 20), 100}};
  write_settings("0");
  for (const auto& [image, code] : images) {
    ws_.write("terrain.tga", image);
    ws_.write("terrain.raw", "an older raster");
    const Snapshot before = ws_.snapshot();
    const RunResult result = run();
    expect_run_error(result.out, code);
    EXPECT_EQ(result.status, code);
    EXPECT_EQ(ws_.snapshot(), before);
  }
}

TEST_F(DemscanRun, ImageEndingEarlyFailsWith100LeavingTheRasterEmpty) {
  write_settings("0");
  const Picture picture = sample_picture();
  for (const TgaLayout& layout : {TgaLayout{}, TgaLayout{.type = 10}}) {
    const std::string whole = tga_file(picture, layout);
    ws_.write("terrain.tga", whole.substr(0, whole.size() - 1));
    const RunResult result = run();
    const std::string printed = "1\r\r\n2\r\r\n3\r\r\n";
    ASSERT_EQ(result.out.substr(0, printed.size()), printed);
    expect_run_error(result.out.substr(printed.size()), 100);
    EXPECT_EQ(ws_.read("terrain.raw"), "");
  }
}

TEST_F(DemscanRun, HugeHeaderOverNoPixelsFailsWith100WithoutTakingItsMemory) {
  if (!address_space_limits_work) GTEST_SKIP() << "no address space limit under the sanitizer";
  if (through_launcher()) GTEST_SKIP() << launcher_limit::memory;
  write_settings("0");
  for (const std::uint8_t type : {2, 10}) {
    ws_.write("terrain.tga", tga_header(65535, 65535, {.type = type}));
    const RunResult result = run(64 * 1024);
    expect_run_error(result.out, 100);
    EXPECT_EQ(result.status, 100);
  }
}

TEST_F(DemscanRun, RunLengthImageEndingEarlyPrintsEveryWholeRowBeforeThe100) {
  write_settings("0");
  // 300 rows of one pixel, 100 of them in the file.
  std::vector<Pixel> column;
  for (int r = 0; r < 100; ++r) column.push_back({static_cast<std::uint8_t>(r), 0, 1, 0});
  const std::string one_column = tga_header(1, 300, {.type = 10}) + run_length_encode(column, 32);
  // 65535 x 65535, 400 rows in the file, each a run of 128 pixels 511 times and one of 127.
  std::string row;
  for (int k = 0; k < 512; ++k)
    row += (k < 511 ? "\xFF" : "\xFE") + std::string("\x01\x02\x03\x04");
  std::string wide = tga_header(65535, 65535, {.type = 10});
  for (int r = 0; r < 400; ++r) wide += row;
  for (const auto& [image, rows] : {std::pair{one_column, 100}, {wide, 400}}) {
    ws_.write("terrain.tga", image);
    for (const bool piped : {false, true}) {
      if (piped) ws_.write("demscan.ini", crlf_lines({"", "terrain.raw", "0"}));
      const RunResult result =
          piped ? run_changing_only(ws_, DEMSCAN_PATH, {"terrain.raw"}, image) : run();
      std::string printed;
      for (int r = 1; r <= rows; ++r) printed += std::to_string(r) + "\r\r\n";
      ASSERT_EQ(result.out.substr(0, printed.size()), printed) << rows << (piped ? " piped" : "");
      expect_run_error(result.out.substr(printed.size()), 100);
      EXPECT_EQ(ws_.read("terrain.raw"), "");
    }
    write_settings("0");
  }
}

TEST_F(DemscanRun, MemoryRunningOutFailsWith203) {
  if (!address_space_limits_work) GTEST_SKIP() << "no address space limit under the sanitizer";
  if (through_launcher()) GTEST_SKIP() << launcher_limit::memory;
  // An image from a pipe is held in memory between the phases: 20 MiB of
  // pixels against a 16 MiB address space.
  ws_.write("demscan.ini", crlf_lines({"", "terrain.raw", "0"}));
  const RunResult result = run_changing_only(
      ws_, DEMSCAN_PATH, {"terrain.raw"},
      tga_header(65535, 80) + std::string(std::size_t{65535} * 80 * 4, '\x01'), 16 * 1024);
  ASSERT_GE(result.out.size(), 31u);
  expect_run_error(result.out.substr(result.out.size() - 31), 203);
  EXPECT_EQ(result.status, 203);
}

TEST_F(DemscanRun, RasterNamingTheImageFailsWith32BeforeAnythingIsWritten) {
  ws_.write("terrain.tga", tga_file(sample_picture(), {}));
  ws_.write("demscan.ini", crlf_lines({"terrain.tga", "./terrain.tga", "0"}));
  const RunResult result = run_touching_nothing();
  expect_run_error(result.out, 32);
  EXPECT_EQ(result.status, 32);
}

TEST_F(DemscanRun, FailuresBeforeTheRasterIsCreatedLeaveItAlone) {
  ws_.write("terrain.raw", "an older raster");
  RunResult result = run_touching_nothing();  // no demscan.ini
  expect_run_error(result.out, 2);

  ws_.write("terrain.tga", tga_file(sample_picture(), {}));
  write_settings("0.5");
  result = run_touching_nothing();
  expect_run_error(result.out, 106);
  EXPECT_EQ(result.status, 106);

  ws_.write("demscan.ini", crlf_lines({"missing.tga", "terrain.raw", "0"}));
  result = run_touching_nothing();
  expect_run_error(result.out, 2);
}

TEST_F(DemscanRun, EmptyPathsReadTheImageFromStandardInputAndWriteTheRasterToStandardOutput) {
  ws_.write("demscan.ini", crlf_lines({"", "", "0"}));
  const Picture picture = sample_picture();
  const RunResult result =
      run_changing_only(ws_, DEMSCAN_PATH, {}, tga_file(picture, {.type = 10, .footer = "tail"}));
  EXPECT_EQ(result.out, expected_raster(picture, false));
  EXPECT_EQ(result.err, transcript(4, bottom_up(4)));
  EXPECT_EQ(result.status, 0);
}

// dempaint, then demscan, in one folder; each also with its input through a
// pipe, which it cannot read twice and so holds in memory, and which must give
// the same console and the same bytes as the file it reads again.
class RoundTrip : public testing::Test {
 protected:
  std::string paint_and_scan(const std::vector<float>& samples, int width, int height,
                             const std::string& mode) {
    const std::string raster = float_bytes(samples), w = std::to_string(width),
                      h = std::to_string(height);
    ws_.write("terrain.raw", raster);
    const std::string image =
        run_twice(DEMPAINT_PATH, "dempaint.ini", {"terrain.raw", "terrain.tga", w, h},
                  {"", "piped.tga", w, h}, raster);
    return run_twice(DEMSCAN_PATH, "demscan.ini", {"terrain.tga", "back.raw", mode},
                     {"", "piped.raw", mode}, image);
  }

  // Runs `program` on the named input, then on `input` through a pipe, and
  // returns the output of the first run.
  std::string run_twice(const std::string& program, const std::string& settings_file,
                        std::initializer_list<std::string_view> named,
                        std::initializer_list<std::string_view> piped, const std::string& input) {
    const std::string output(*(named.begin() + 1)), piped_output(*(piped.begin() + 1));
    ws_.write(settings_file, crlf_lines(named));
    const RunResult from_file = run_changing_only(ws_, program, {output});
    EXPECT_EQ(from_file.status, 0);
    ws_.write(settings_file, crlf_lines(piped));
    const RunResult from_pipe = run_changing_only(ws_, program, {piped_output}, input);
    EXPECT_EQ(from_pipe.out, from_file.out);
    const std::string bytes = ws_.read(output);
    EXPECT_TRUE(ws_.read(piped_output) == bytes) << program;
    return bytes;
  }

  Workspace ws_;
};

TEST_F(RoundTrip, PutsEveryHeightBackAtItsOwnPlace) {
  // Every truncated height 0 ... 65279 with a fraction, on a raster wider than
  // 6144 and on one taller than 8192.
  for (const auto& [width, height] : {std::pair{6200, 11}, {8, 8300}}) {
    std::vector<float> samples, truncated;
    for (int i = 0; i < width * height; ++i) {
      const int v = i % 65280;
      truncated.push_back(static_cast<float>(v));
      samples.push_back(static_cast<float>(v) + static_cast<float>(i % 4) * 0.33f);
    }
    EXPECT_EQ(paint_and_scan(samples, width, height, "0"), float_bytes(truncated))
        << width << " x " << height;
  }
}

TEST_F(RoundTrip, HeightsOutsideThePaintableRangeComeBackAsTheTableSays) {
  const std::vector<float> samples = {1234.4f, 0.99f, -0.5f, -3.7f, 65279.0f, 65280.0f, 70000.9f};
  EXPECT_EQ(paint_and_scan(samples, 7, 1, "0"),
            float_bytes({1234.0f, 0.0f, 0.0f, 0.0f, 65279.0f, 0.0f, 4464.0f}));
  EXPECT_EQ(paint_and_scan(samples, 7, 1, "1"),
            float_bytes({1317.0f, -127.0f, -127.0f, 0.0f, 65407.0f, 0.0f, 4449.0f}));
}

}  // namespace
