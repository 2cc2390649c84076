// A band of the raster: the 76 rows of one tile row, for a run of tiles
// across, moved with one read per row instead of one per tile window row.
#pragma once

#include <cstdint>
#include <vector>

#include "record_file.hpp"
#include "tile_scan.hpp"

namespace demtiler {

class RasterBand {
 public:
  // How many tiles across one band holds, so that its buffer stays near 8 MiB
  // whatever the raster's width.
  static constexpr std::uint32_t max_tiles = 383;

  // Reads rows 72 ty ... 72 ty + 75, columns 72 first_tx ... 72 last_tx + 75,
  // for tiles first_tx up to (not including) end_tx. False when any row came
  // up short: the caller then reads those tiles window by window, so that a
  // short or failing raster ends the run at the very tile it would otherwise.
  bool load(heightio::RecordFile& raster, std::uint32_t ty, std::uint32_t first_tx,
            std::uint32_t end_tx, std::uint32_t width);

  bool holds(const TileRef& tile) const {
    return loaded_ && tile.ty == ty_ && tile.tx >= first_tx_ && tile.tx < end_tx_;
  }

  bool occupied(std::uint32_t tx) const;
  void copy_window(std::uint32_t tx, TileWindow& window) const;

 private:
  const std::uint32_t* window_row(std::uint32_t tx, std::uint32_t r) const {
    return &samples_[std::size_t{r} * row_samples_ + std::size_t{tile_stride} * (tx - first_tx_)];
  }

  std::vector<std::uint32_t> samples_;
  std::size_t row_samples_ = 0;
  std::uint32_t ty_ = 0, first_tx_ = 0, end_tx_ = 0;
  bool loaded_ = false;
};

}  // namespace demtiler
