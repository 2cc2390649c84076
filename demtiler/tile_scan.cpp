#include "tile_scan.hpp"

#include <algorithm>
#include <array>

#include "console.hpp"
#include "failure.hpp"

namespace demtiler {
namespace {

using namespace heightio;

std::uint32_t tiles_in(std::uint32_t samples) {
  return samples < tile_span - tile_stride ? 0
                                           : (samples - (tile_span - tile_stride)) / tile_stride;
}

// Bit patterns, not float values: negative zero and every NaN count as present.
bool any_present(const std::array<std::uint32_t, tile_span>& samples) {
  return std::any_of(samples.begin(), samples.end(), [](std::uint32_t bits) { return bits != 0; });
}

void print_map_char(char symbol) {
  write_char(symbol);
  end_write();
  check_io();
}

void print_row_number(std::uint32_t ty) {
  write_int(ty, 0);
  write_line_end();
  check_io();
}

}  // namespace

TileCounts count_tiles(std::uint32_t width, std::uint32_t height) {
  return {tiles_in(width), tiles_in(height)};
}

std::uint64_t window_row_record(const TileRef& tile, std::uint32_t r, std::uint32_t width) {
  const std::uint64_t row = std::uint64_t{tile_stride} * tile.ty + r;
  return row * width + std::uint64_t{tile_stride} * tile.tx;
}

bool scan_tile(RecordFile& raster, std::uint32_t ty, std::uint32_t tx, std::uint32_t width) {
  // Every sample of the window is read even when the first one decides, so a
  // raster too short for its settings always fails in the scan.
  std::array<std::uint32_t, tile_span> row{};
  bool occupied = false;
  for (std::uint32_t r = 0; r < tile_span; ++r) {
    seek_record(raster, window_row_record({ty, tx}, r, width));
    check_io();
    read_block(raster, row.data(), tile_span);
    check_io();
    occupied = occupied || any_present(row);
  }
  return occupied;
}

TileList scan_tiles(RecordFile& raster, const TileCounts& counts, std::uint32_t width) {
  TileList tiles;
  for (std::uint32_t ty = 0; ty < counts.down; ++ty) {
    for (std::uint32_t tx = 0; tx < counts.across; ++tx) {
      const bool occupied = scan_tile(raster, ty, tx, width);
      if (occupied) tiles.push_back({ty, tx});
      print_map_char(occupied ? '*' : '-');
    }
    print_row_number(ty);
  }
  return tiles;
}

}  // namespace demtiler
