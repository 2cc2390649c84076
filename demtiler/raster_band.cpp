#include "raster_band.hpp"

#include <algorithm>
#include <cstring>

#include "failure.hpp"

namespace demtiler {

using namespace heightio;

bool RasterBand::load(RecordFile& raster, std::uint32_t ty, std::uint32_t first_tx,
                      std::uint32_t end_tx, std::uint32_t width) {
  ty_ = ty;
  first_tx_ = first_tx;
  end_tx_ = end_tx;
  row_samples_ = std::size_t{tile_stride} * (end_tx - first_tx) + (tile_span - tile_stride);
  allocate_or_fail([&] { samples_.resize(row_samples_ * tile_span); });
  loaded_ = true;
  TileRef first{ty, first_tx};
  // A failed seek stays pending; the window-by-window fallback meets it again
  // and reports it at its own check.
  for (std::uint32_t r = 0; r < tile_span && loaded_; ++r) {
    seek_record(raster, window_row_record(first, r, width));
    loaded_ = pending_io_result() == 0 &&
              read_available(raster, &samples_[r * row_samples_], row_samples_) == row_samples_;
  }
  return loaded_;
}

bool RasterBand::occupied(std::uint32_t tx) const {
  // Bit patterns, not float values: negative zero and every NaN count as present.
  std::uint32_t any = 0;
  for (std::uint32_t r = 0; r < tile_span; ++r) {
    const std::uint32_t* row = window_row(tx, r);
    for (std::uint32_t k = 0; k < tile_span; ++k) any |= row[k];
  }
  return any != 0;
}

void RasterBand::copy_window(std::uint32_t tx, TileWindow& window) const {
  for (std::uint32_t r = 0; r < tile_span; ++r)
    std::memcpy(&window[r * tile_span], window_row(tx, r), tile_span * sizeof(std::uint32_t));
}

}  // namespace demtiler
