// A band of the raster: the 76 rows of one tile row, for a run of tiles
// across, moved with one read per row instead of one per tile window row.
#pragma once

#include <cstddef>
#include <cstdint>

#include "record_file.hpp"
#include "tile_scan.hpp"

namespace demtiler {

// The bytes to reserve for a buffer of `bytes`: above 1 MiB, whole huge pages
// of 2 MiB, so that the system can back it with a few of them instead of
// faulting in hundreds of small pages, each fault costly on a virtual machine.
inline std::size_t reserved_bytes(std::size_t bytes) {
  constexpr std::size_t huge_page = std::size_t{2} << 20;
  return bytes <= huge_page / 2 ? bytes : (bytes + huge_page - 1) / huge_page * huge_page;
}

// Tiles first_tx up to (not including) end_tx of tile row ty.
struct BandSpan {
  std::uint32_t ty;
  std::uint32_t first_tx;
  std::uint32_t end_tx;
};

class RasterBand {
 public:
  // How many tiles across one band holds, so that its buffer stays near 4 MiB
  // whatever the raster's width: two bands at a time, one for each thread,
  // then take no more than one did before the second thread.
  static constexpr std::uint32_t max_tiles = 191;

  // Room for bands of up to `tiles` tiles across (at most max_tiles), taken
  // here so that loading never allocates: it may run on a second thread.
  explicit RasterBand(std::uint32_t tiles);
  ~RasterBand();
  RasterBand(const RasterBand&) = delete;
  RasterBand& operator=(const RasterBand&) = delete;

  // Reads rows 72 ty ... 72 ty + 75, columns 72 first_tx ... 72 (end_tx - 1)
  // + 75, the windows of the span's tiles, with positioned reads
  // that leave the file position alone. Records no failure: it returns false
  // when any row came up short, and the caller then reads those tiles window
  // by window with the checked operations, so that a short or failing raster
  // ends the run at the very tile it would otherwise.
  bool load(const heightio::RecordFile& raster, const BandSpan& span, std::uint32_t width);

  bool holds(const TileRef& tile) const {
    return loaded_ && tile.ty == span_.ty && tile.tx >= span_.first_tx && tile.tx < span_.end_tx;
  }

  bool occupied(std::uint32_t tx) const;
  void copy_window(std::uint32_t tx, TileWindow& window) const;

 private:
  const std::uint32_t* window_row(std::uint32_t tx, std::uint32_t r) const {
    return &samples_[std::size_t{r} * row_samples_ +
                     std::size_t{tile_stride} * (tx - span_.first_tx)];
  }

  std::uint32_t* samples_ = nullptr;
  std::size_t capacity_ = 0;  // samples
  std::size_t row_samples_ = 0;
  BandSpan span_{};
  bool loaded_ = false;
};

}  // namespace demtiler
