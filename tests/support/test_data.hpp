// Bytes that several tests build: settings text, raster samples, TGA headers,
// and demtiler's example raster with the console text it gives. Expected
// bytes are built here from the layout tables, never by the code under test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace test_data {

// Settings text: each line followed by CR LF.
std::string crlf_lines(std::initializer_list<std::string_view> lines);

// Little-endian bytes of float samples and 32-bit numbers.
std::string float_bytes(const std::vector<float>& samples);
std::string u32_bytes(std::uint32_t value);
float float_from_bits(std::uint32_t bits);

// How a paint program may store a TGA image.
struct TgaLayout {
  std::uint8_t type = 2;  // 2 uncompressed, 10 run-length encoded
  std::uint8_t depth = 32;
  bool top_row_first = false;
  bool right_to_left = false;
  std::string id{};
  std::uint16_t colour_map_entries = 0;
  std::uint8_t colour_map_entry_bits = 0;
  std::string footer{};
};

// The 18-byte header, with the ID field and the colour map the layout puts
// before the pixel data. The default is the header dempaint writes: type 2,
// 32 bits, descriptor 8, bottom row first.
std::string tga_header(std::uint16_t width, std::uint16_t height, const TgaLayout& layout = {});

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

// demtiler's example: 220 x 148 samples, tiles (0, 1), (1, 0) and (1, 1)
// occupied, and the console text up to the archive pass that it gives.
Raster example_raster();
inline const std::string example_map = "x-3\r\ny-2\r\n-*-0\r\n**-1\r\n\r\n3\r\n";

// A template longer than the 3800 bytes that are copied, with no two
// neighbouring bytes alike, so that a shifted copy shows.
std::string sample_template();

using TileIndex = std::pair<int, int>;  // (ty, tx)

// The GND tile archive built from the layout tables: header, directory, the
// first 3800 template bytes, then per tile its height block (each cell the
// sample at its raster row and column divided by 10) and its texture block.
std::string expected_archive(const std::function<float(std::size_t, std::size_t)>& sample_at,
                             const std::vector<TileIndex>& tiles,
                             const std::string& template_bytes);
std::string expected_archive(const Raster& raster, const std::vector<TileIndex>& tiles,
                             const std::string& template_bytes);

}  // namespace test_data
