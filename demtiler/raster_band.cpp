#include "raster_band.hpp"

#include <algorithm>
#include <cstring>

#include "failure.hpp"
#include "platform.hpp"

namespace demtiler {

using namespace heightio;

namespace {

std::size_t band_row_samples(std::uint32_t tiles) {
  return std::size_t{tile_stride} * tiles + (tile_span - tile_stride);
}

// Samples a band of up to `tiles` tiles across needs, and what its reservation
// rounded to whole huge pages holds besides.
std::size_t band_capacity(std::uint32_t tiles) {
  if (tiles == 0) return 0;
  const std::size_t samples = band_row_samples(std::min(tiles, RasterBand::max_tiles)) * tile_span;
  return reserved_bytes(samples * sizeof(std::uint32_t)) / sizeof(std::uint32_t);
}

}  // namespace

RasterBand::RasterBand(std::uint32_t tiles) : capacity_(band_capacity(tiles)) {
  // Pages straight from the system, huge where it allows: they are faulted in
  // by the first read into them, with few faults.
  if (capacity_ == 0) return;
  samples_ =
      static_cast<std::uint32_t*>(platform::reserve_pages(capacity_ * sizeof(std::uint32_t)));
  if (samples_ == nullptr) raise_at_call_site(code::out_of_memory);
}

RasterBand::~RasterBand() {
  if (samples_ != nullptr) platform::release_pages(samples_, capacity_ * sizeof(std::uint32_t));
}

bool RasterBand::load(const RecordFile& raster, const BandSpan& span, std::uint32_t width) {
  span_ = span;
  row_samples_ = band_row_samples(span.end_tx - span.first_tx);
  loaded_ = row_samples_ * tile_span <= capacity_;
  const TileRef first{span.ty, span.first_tx};
  const std::size_t row_bytes = row_samples_ * sizeof(std::uint32_t);
  for (std::uint32_t r = 0; r < tile_span && loaded_; ++r) {
    // A byte position past 64 bits is one the checked seek refuses.
    const std::uint64_t record = window_row_record(first, r, width);
    std::size_t done = 0;
    loaded_ = record <= UINT64_MAX / sizeof(float) &&
              platform::read_at(raster.handle, record * sizeof(float), &samples_[r * row_samples_],
                                row_bytes, done) == 0 &&
              done == row_bytes;
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
