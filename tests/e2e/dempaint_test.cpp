// dempaint end to end: the built program in a fresh folder, with exact console
// bytes, exit status and image bytes compared.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "harness.hpp"

namespace {

using namespace e2e;

// Blue, green, red, alpha; dempaint paints every pixel opaque.
std::string pixel(std::uint8_t blue, std::uint8_t green, std::uint8_t red,
                  std::uint8_t alpha = 255) {
  return {static_cast<char>(blue), static_cast<char>(green), static_cast<char>(red),
          static_cast<char>(alpha)};
}

// The console of a run that painted `rows` rows: counting up, then down.
std::string transcript(int rows) {
  std::string text;
  for (int r = 1; r <= rows; ++r) text += std::to_string(r) + "\r";
  text += "\r\n\r\n";
  for (int r = rows; r >= 1; --r) text += std::to_string(r) + "\r";
  return text + "\r\n\r\n";
}

class DempaintRun : public testing::Test {
 protected:
  void write_settings(const std::string& width, const std::string& height,
                      const std::string& image = "terrain.tga") {
    ws_.write("dempaint.ini", crlf_lines({"terrain.raw", image, width, height}));
  }
  void write_raster(const std::vector<float>& samples) {
    ws_.write("terrain.raw", float_bytes(samples));
  }
  RunResult run(std::size_t memory_kib = 0) {
    return run_changing_only(ws_, DEMPAINT_PATH, {"terrain.tga"}, {}, memory_kib);
  }
  // A failed run that must leave every file as it was.
  RunResult run_touching_nothing() { return run_changing_only(ws_, DEMPAINT_PATH, {}); }

  Workspace ws_;
};

TEST_F(DempaintRun, WritesTheRasterRowsBottomUp) {
  write_settings("2", "2");
  write_raster({1.0f, 2.0f, 3.0f, 4.0f});
  RunResult result = run();
  EXPECT_EQ(ws_.read("terrain.tga"),
            tga_header(2, 2) + pixel(3, 3, 0) + pixel(4, 4, 0) + pixel(1, 1, 0) + pixel(2, 2, 0));
  EXPECT_EQ(result.out, transcript(2));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);

  write_settings("1", "3");
  result = run();
  EXPECT_EQ(ws_.read("terrain.tga"),
            tga_header(1, 3) + pixel(3, 3, 0) + pixel(2, 2, 0) + pixel(1, 1, 0));
  EXPECT_EQ(result.out, "1\r2\r3\r\r\n\r\n3\r2\r1\r\r\n\r\n");
}

TEST_F(DempaintRun, PaintsTheTruncatedHeightModulo65536) {
  const float subnormal = std::numeric_limits<float>::denorm_min();
  const std::vector<float> samples = {1234.4f,  0.99f,     -0.5f,    -3.7f,  65279.0f,  65280.0f,
                                      70000.9f, 2.9f,      -2.9f,    -0.0f,  subnormal, -256.0f,
                                      -257.0f,  65535.99f, -0x1p63f, 0x1p62f};
  // Only the low 16 bits of a size count: $10010 is 16. Samples beyond W x H
  // are never read.
  write_settings("$10010", "1");
  std::vector<float> raster = samples;
  raster.push_back(NAN);
  write_raster(raster);
  const std::string expected =
      pixel(0xD2, 0xD2, 0x04) + pixel(0, 0, 0) + pixel(0, 0, 0) + pixel(0xFD, 0xFD, 0xFF) +
      pixel(0xFF, 0xFF, 0xFE) + pixel(0, 0, 0xFF) + pixel(0x70, 0x70, 0x11) + pixel(2, 2, 0) +
      pixel(0xFE, 0xFE, 0xFF) + pixel(0, 0, 0) + pixel(0, 0, 0) + pixel(0, 0, 0xFF) +
      pixel(0xFF, 0xFF, 0xFE) + pixel(0xFF, 0xFF, 0xFF) + pixel(0, 0, 0) + pixel(0, 0, 0);
  EXPECT_EQ(run().status, 0);
  EXPECT_EQ(ws_.read("terrain.tga"), tga_header(16, 1) + expected);
}

TEST_F(DempaintRun, ShortRasterFailsWith100LeavingTheHeaderAlone) {
  write_settings("2", "3");
  write_raster({1.0f, 2.0f, 3.0f});
  const RunResult result = run();
  ASSERT_EQ(result.out.substr(0, 2), "1\r");
  expect_run_error(result.out.substr(2), 100);
  EXPECT_EQ(result.status, 100);
  EXPECT_EQ(ws_.read("terrain.tga"), tga_header(2, 3));
}

TEST_F(DempaintRun, SampleWithoutIntegerValueFailsWith207LeavingTheHeaderAlone) {
  for (const float bad : {NAN, -INFINITY, 0x1p63f}) {
    write_settings("2", "2");
    write_raster({1.0f, 2.0f, 3.0f, bad});
    const RunResult result = run();
    ASSERT_EQ(result.out.substr(0, 2), "1\r");
    expect_run_error(result.out.substr(2), 207);
    EXPECT_EQ(result.status, 207);
    EXPECT_EQ(ws_.read("terrain.tga"), tga_header(2, 2));
  }
}

TEST_F(DempaintRun, ImageNamingTheRasterFailsWith32BeforeAnythingIsWritten) {
  write_raster({1.0f, 2.0f});
  for (const std::string image : {"terrain.raw", "./terrain.raw"}) {
    write_settings("2", "1", image);
    const RunResult result = run_touching_nothing();
    expect_run_error(result.out, 32);
    EXPECT_EQ(result.status, 32);
  }
}

TEST_F(DempaintRun, FailuresBeforeTheImageIsCreatedLeaveItAlone) {
  ws_.write("terrain.tga", "an older image");
  RunResult result = run_touching_nothing();  // no dempaint.ini
  expect_run_error(result.out, 2);

  write_raster({1.0f});
  write_settings("1px", "1");
  result = run_touching_nothing();
  expect_run_error(result.out, 106);
  EXPECT_EQ(result.status, 106);

  ws_.write("dempaint.ini", crlf_lines({"missing.raw", "terrain.tga", "1", "1"}));
  result = run_touching_nothing();
  expect_run_error(result.out, 2);
}

TEST_F(DempaintRun, EmptyPathsReadTheRasterFromStandardInputAndWriteTheImageToStandardOutput) {
  ws_.write("dempaint.ini", crlf_lines({"", "", "2", "2"}));
  const RunResult result =
      run_changing_only(ws_, DEMPAINT_PATH, {}, float_bytes({1.0f, 2.0f, 3.0f, 4.0f}));
  EXPECT_EQ(result.out,
            tga_header(2, 2) + pixel(3, 3, 0) + pixel(4, 4, 0) + pixel(1, 1, 0) + pixel(2, 2, 0));
  EXPECT_EQ(result.err, transcript(2));
  EXPECT_EQ(result.status, 0);
}

TEST_F(DempaintRun, HugeSizesOverAShortRasterFailWithoutTakingTheirMemory) {
  if (!address_space_limits_work) GTEST_SKIP() << "no address space limit under the sanitizer";
  if (through_launcher()) GTEST_SKIP() << launcher_limit::memory;
  write_settings("65535", "65535");
  write_raster(std::vector<float>(1000, 1.0f));
  const RunResult result = run(64 * 1024);
  expect_run_error(result.out, 100);
  EXPECT_EQ(ws_.read("terrain.tga"), tga_header(65535, 65535));
}

}  // namespace
