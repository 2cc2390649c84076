#include "tile_scan.hpp"

#include <algorithm>
#include <array>

#include "console.hpp"
#include "failure.hpp"
#include "raster_band.hpp"
#include "work_ahead.hpp"

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

// The bands of the map: each tile row cut into as few bands as hold
// RasterBand::max_tiles tiles at most, of nearly equal width so that the two
// lanes get nearly equal work.
class BandGrid {
 public:
  explicit BandGrid(const TileCounts& counts)
      : counts_(counts),
        per_row_(counts.across == 0 ? 0 : (counts.across - 1) / RasterBand::max_tiles + 1) {}

  std::uint32_t per_row() const { return per_row_; }
  std::uint64_t count() const { return std::uint64_t{per_row_} * counts_.down; }
  // Tiles across in the widest band; 0 when there is no band at all.
  std::uint32_t widest() const { return count() == 0 ? 0 : first_tx(1); }

  BandSpan band(std::uint64_t b) const {
    const auto j = static_cast<std::uint32_t>(b % per_row_);
    return {static_cast<std::uint32_t>(b / per_row_), first_tx(j), first_tx(j + 1)};
  }

 private:
  // The first tile of band j of a row, rounded up so that band 0 is the widest.
  std::uint32_t first_tx(std::uint32_t j) const {
    return static_cast<std::uint32_t>((std::uint64_t{counts_.across} * j + per_row_ - 1) /
                                      per_row_);
  }

  TileCounts counts_;
  std::uint32_t per_row_;
};

// Which tiles of one band are occupied; `loaded` false when the band could
// not be read whole, and its tiles must be scanned one by one.
struct BandMap {
  bool loaded = false;
  std::array<bool, RasterBand::max_tiles> occupied{};
};

// Runs on either lane: reads the band and tells its tiles apart. Records no
// failure and allocates nothing.
void map_band(const RecordFile& raster, const BandSpan& span, std::uint32_t width, RasterBand& band,
              BandMap& map) {
  map.loaded = band.load(raster, span, width);
  if (!map.loaded) return;
  for (std::uint32_t tx = span.first_tx; tx < span.end_tx; ++tx)
    map.occupied[tx - span.first_tx] = band.occupied(tx);
}

// Prints the band's part of the map line and lists its occupied tiles. A band
// that could not be read is scanned tile by tile with the checked reads, which
// fail at the first tile whose window the raster does not hold.
void print_band(RecordFile& raster, const BandSpan& span, std::uint32_t width, const BandMap& map,
                TileList& tiles) {
  for (std::uint32_t tx = span.first_tx; tx < span.end_tx; ++tx) {
    const bool occupied =
        map.loaded ? map.occupied[tx - span.first_tx] : scan_tile(raster, span.ty, tx, width);
    if (occupied) allocate_or_fail([&] { tiles.push_back({span.ty, tx}); });
    print_map_char(occupied ? '*' : '-');
  }
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
  const BandGrid grid(counts);
  // Two lanes over the bands: this thread maps the even ones, a second thread
  // the odd ones at the same time, so both read the raster at once.
  RasterBand own(grid.widest()), theirs(grid.count() > 1 ? grid.widest() : 0);
  std::array<BandMap, 16> their_maps;
  WorkAhead odd_bands(grid.count() / 2, their_maps.size(), [&](std::uint64_t k, std::size_t slot) {
    map_band(raster, grid.band(2 * k + 1), width, theirs, their_maps[slot]);
  });
  BandMap own_map;
  TileList tiles;
  for (std::uint32_t ty = 0; ty < counts.down; ++ty) {
    for (std::uint32_t j = 0; j < grid.per_row(); ++j) {
      const std::uint64_t b = std::uint64_t{ty} * grid.per_row() + j;
      if (b % 2 == 0) map_band(raster, grid.band(b), width, own, own_map);
      const BandMap& map = b % 2 == 0 ? own_map : their_maps[odd_bands.take(b / 2)];
      print_band(raster, grid.band(b), width, map, tiles);
    }
    print_row_number(ty);
  }
  return tiles;
}

}  // namespace demtiler
