#include "tile_scan.hpp"

#include <algorithm>
#include <array>

#include "console.hpp"
#include "failure.hpp"
#include "raster_band.hpp"

namespace demtiler {
namespace {

using namespace heightio;

std::uint32_t tiles_in(std::uint32_t samples) {
  return samples < tile_span - tile_stride ? 0
                                           : (samples - (tile_span - tile_stride)) / tile_stride;
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

void read_window(RecordFile& raster, const TileRef& tile, std::uint32_t width, TileWindow& window) {
  for (std::uint32_t r = 0; r < tile_span; ++r) {
    seek_record(raster, window_row_record(tile, r, width));
    check_io();
    read_block(raster, &window[r * tile_span], tile_span);
    check_io();
  }
}

bool scan_tile(RecordFile& raster, std::uint32_t ty, std::uint32_t tx, std::uint32_t width) {
  // The whole window is read even when its first sample decides, so a raster
  // too short for its settings always fails in the scan.
  TileWindow window;
  read_window(raster, {ty, tx}, width, window);
  // Bit patterns, not float values: negative zero and every NaN count as present.
  return std::any_of(window.begin(), window.end(), [](std::uint32_t bits) { return bits != 0; });
}

TileList scan_tiles(RecordFile& raster, const TileCounts& counts, std::uint32_t width) {
  TileList tiles;
  RasterBand band;
  for (std::uint32_t ty = 0; ty < counts.down; ++ty) {
    for (std::uint32_t first_tx = 0; first_tx < counts.across; first_tx += RasterBand::max_tiles) {
      const std::uint32_t end_tx =
          first_tx + std::min(counts.across - first_tx, RasterBand::max_tiles);
      const bool loaded = band.load(raster, ty, first_tx, end_tx, width);
      for (std::uint32_t tx = first_tx; tx < end_tx; ++tx) {
        const bool occupied = loaded ? band.occupied(tx) : scan_tile(raster, ty, tx, width);
        if (occupied) allocate_or_fail([&] { tiles.push_back({ty, tx}); });
        print_map_char(occupied ? '*' : '-');
      }
    }
    print_row_number(ty);
  }
  return tiles;
}

}  // namespace demtiler
