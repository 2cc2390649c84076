// The tile grid of a height raster and the scan for occupied tiles.
//
// Tiles are 76 x 76-sample windows taken every 72 samples across and down, so
// neighbouring tiles share 4 rows or columns. A tile is occupied when any of
// its samples is not all-zero bits.
#pragma once

#include <cstdint>
#include <vector>

#include "record_file.hpp"

namespace demtiler {

inline constexpr std::uint32_t tile_stride = 72;
inline constexpr std::uint32_t tile_span = 76;

struct TileCounts {
  std::uint32_t across;  // tilesX
  std::uint32_t down;    // tilesY
};

struct TileRef {
  std::uint32_t ty;
  std::uint32_t tx;
};

using TileList = std::vector<TileRef>;

// Columns and rows past the last whole window belong to no tile; a raster
// narrower or lower than 4 samples has no tiles in that direction.
TileCounts count_tiles(std::uint32_t width, std::uint32_t height);

// Record number of the first sample of row r of tile (ty, tx)'s window.
std::uint64_t window_row_record(const TileRef& tile, std::uint32_t r, std::uint32_t width);

// Reads the window of one tile, a row at a time, and tells whether it is occupied.
bool scan_tile(heightio::RecordFile& raster, std::uint32_t ty, std::uint32_t tx,
               std::uint32_t width);

// Scans every tile in rows, printing the occupancy map, and lists the occupied ones.
TileList scan_tiles(heightio::RecordFile& raster, const TileCounts& counts, std::uint32_t width);

}  // namespace demtiler
