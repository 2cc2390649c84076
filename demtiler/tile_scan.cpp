#include "tile_scan.hpp"

#include <algorithm>
#include <array>
#include <new>

#include "console.hpp"
#include "failure.hpp"
#include "pipeline.hpp"
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

// Which tiles of one band are occupied, and the hashes of their windows.
struct BandMap {
  std::array<bool, RasterBand::max_tiles> occupied;
  std::array<std::uint64_t, RasterBand::max_tiles> hash;
};

// A job of the map: reads band b and tells its tiles apart.
JobResult map_band(const RecordFile& raster, const BandSpan& span, std::uint32_t width,
                   RasterBand& band, std::uint8_t* slot) {
  auto* map = new (slot) BandMap;
  const JobResult result = band.load(raster, span, width);
  for (std::uint32_t tx = span.first_tx; tx < span.end_tx && band.holds({span.ty, tx}); ++tx) {
    map->occupied[tx - span.first_tx] = band.occupied(tx);
    if (map->occupied[tx - span.first_tx]) map->hash[tx - span.first_tx] = band.window_hash(tx);
  }
  return result;
}

// Prints the band's part of the map line and lists its occupied tiles, up to
// a tile whose window the raster does not hold, where the failure is raised.
void print_band(const BandSpan& span, const Pipeline::Taken& taken, TileList& tiles) {
  const auto* map = std::launder(reinterpret_cast<const BandMap*>(taken.slot));
  for (std::uint32_t tx = span.first_tx; tx < span.end_tx; ++tx) {
    if (taken.result.code != 0 && tx == taken.result.at) {
      record_job_failure(taken.result);
      check_io();
    }
    const std::uint32_t i = tx - span.first_tx;
    if (map->occupied[i]) allocate_or_fail([&] { tiles.push_back({span.ty, tx, map->hash[i]}); });
    print_map_char(map->occupied[i] ? '*' : '-');
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

TileList scan_tiles(const RecordFile& raster, const TileCounts& counts, std::uint32_t width) {
  const BandGrid grid(counts);
  // Each thread reads its bands into a band of its own, so both read the
  // raster at once.
  RasterBand thread_band(grid.widest()), program_band(grid.widest());
  Pipeline pipeline(16, sizeof(BandMap));
  pipeline.start(grid.count(), [&](std::uint64_t b, std::uint8_t* slot, Runner runner) {
    RasterBand& band = runner == Runner::thread ? thread_band : program_band;
    return map_band(raster, grid.band(b), width, band, slot);
  });
  TileList tiles;
  for (std::uint32_t ty = 0; ty < counts.down; ++ty) {
    for (std::uint32_t j = 0; j < grid.per_row(); ++j) {
      const std::uint64_t b = std::uint64_t{ty} * grid.per_row() + j;
      print_band(grid.band(b), pipeline.take(b), tiles);
    }
    print_row_number(ty);
  }
  return tiles;
}

}  // namespace demtiler
