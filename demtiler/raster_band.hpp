// A band of the raster: the 76 rows of one tile row, for a run of tiles
// across, moved with one positioned read per row instead of one per tile
// window row.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pipeline.hpp"
#include "record_file.hpp"
#include "tile_scan.hpp"

namespace demtiler {

// Tiles first_tx up to (not including) end_tx of tile row ty.
struct BandSpan {
  std::uint32_t ty;
  std::uint32_t first_tx;
  std::uint32_t end_tx;
};

class RasterBand {
 public:
  // How many tiles across one band holds, so that its buffer fits one huge
  // page of 2 MiB whatever the raster's width; each of the pipeline's two
  // threads has one.
  static constexpr std::uint32_t max_tiles = 95;

  // Room for bands of up to `tiles` tiles across (at most max_tiles), taken
  // here so that loading never allocates: it runs on either thread.
  explicit RasterBand(std::uint32_t tiles);

  // Reads rows 72 ty ... 72 ty + 75, columns 72 first_tx ... 72 (end_tx - 1)
  // + 75, the windows of the span's tiles, with positioned reads that record
  // nothing. The band holds the tiles whose windows arrived whole, from the
  // first up to the first one that did not, at which the failure of its
  // first short row is returned.
  heightio::JobResult load(const heightio::RecordFile& raster, const BandSpan& span,
                           std::uint32_t width);

  bool holds(const TileRef& tile) const {
    return tile.ty == span_.ty && tile.tx >= span_.first_tx && tile.tx - span_.first_tx < whole_;
  }

  bool occupied(std::uint32_t tx) const;
  void copy_window(std::uint32_t tx, TileWindow& window) const;
  // The hash of the tile's window, the same whichever band it was read in.
  std::uint64_t window_hash(std::uint32_t tx) const;

 private:
  const std::uint32_t* window_row(std::uint32_t tx, std::uint32_t r) const {
    return samples() + std::size_t{r} * row_samples_ +
           std::size_t{tile_stride} * (tx - span_.first_tx);
  }
  std::uint32_t* samples() const { return reinterpret_cast<std::uint32_t*>(pages_.data()); }

  heightio::Pages pages_;
  std::size_t row_samples_ = 0;
  BandSpan span_{};
  std::uint32_t whole_ = 0;  // tiles held, from the first of the span
};

}  // namespace demtiler
