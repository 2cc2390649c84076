// The tile grid of a height raster and the scan for occupied tiles.
//
// Tiles are 76 x 76-sample windows taken every 72 samples across and down, so
// neighbouring tiles share 4 rows or columns. A tile is occupied when any of
// its samples is not all-zero bits.
#pragma once

#include <array>
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
  std::uint64_t hash = 0;  // of its window as the map pass read it
};

using TileList = std::vector<TileRef>;

// The samples of one tile as raw bits, row after row.
using TileWindow = std::array<std::uint32_t, tile_span * tile_span>;

// Columns and rows past the last whole window belong to no tile; a raster
// narrower or lower than 4 samples has no tiles in that direction.
TileCounts count_tiles(std::uint32_t width, std::uint32_t height);

// Record number of the first sample of row r of a tile's window, in 64 bits so
// that rasters of more than 4 Gi samples are addressed correctly.
std::uint64_t window_row_record(const TileRef& tile, std::uint32_t r, std::uint32_t width);

// Scans every tile in rows, printing the occupancy map, and lists the occupied
// ones. The raster is read a band at a time, on the pipeline's two threads.
TileList scan_tiles(const heightio::RecordFile& raster, const TileCounts& counts,
                    std::uint32_t width);

}  // namespace demtiler
