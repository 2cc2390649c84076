#include "raster_band.hpp"

#include <algorithm>
#include <cstring>

#include "error_codes.hpp"
#include "row_hash.hpp"

namespace demtiler {

using namespace heightio;

namespace {

std::size_t band_row_samples(std::uint32_t tiles) {
  return std::size_t{tile_stride} * tiles + (tile_span - tile_stride);
}

// Bytes a band of up to `tiles` tiles across needs.
std::size_t band_bytes(std::uint32_t tiles) {
  if (tiles == 0) return 0;
  return band_row_samples(std::min(tiles, RasterBand::max_tiles)) * tile_span *
         sizeof(std::uint32_t);
}

// Tiles whose window row lies whole in a band row of which `samples` arrived.
std::uint32_t whole_windows(std::size_t samples) {
  return samples < tile_span ? 0
                             : static_cast<std::uint32_t>((samples - tile_span) / tile_stride + 1);
}

}  // namespace

RasterBand::RasterBand(std::uint32_t tiles) : pages_(band_bytes(tiles)) {}

JobResult RasterBand::load(const RecordFile& raster, const BandSpan& span, std::uint32_t width) {
  span_ = span;
  whole_ = span.end_tx - span.first_tx;
  row_samples_ = band_row_samples(whole_);
  const TileRef first{span.ty, span.first_tx};
  JobResult failure;
  for (std::uint32_t r = 0; r < tile_span && whole_ > 0; ++r) {
    const std::uint64_t record = window_row_record(first, r, width);
    std::size_t done = 0;
    // A byte position past 64 bits is one no seek reaches.
    const JobResult read =
        record > UINT64_MAX / sizeof(float)
            ? JobResult{code::negative_seek, 0, 0, &raster}
            : read_bytes_at(raster, record * sizeof(float), samples() + r * row_samples_,
                            row_samples_ * sizeof(float), done);
    const std::uint32_t whole = whole_windows(done / sizeof(float));
    if (whole >= whole_) continue;
    whole_ = whole;
    failure = read;
    failure.at = span.first_tx + whole;
  }
  return failure;
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

// The rows' hashes combined by multiplying with an odd number and adding,
// so that a change of any one row changes the window's hash.
std::uint64_t RasterBand::window_hash(std::uint32_t tx) const {
  constexpr std::uint64_t odd = 0x9E3779B97F4A7C15u;
  std::uint64_t hash = 0;
  for (std::uint32_t r = 0; r < tile_span; ++r)
    hash = hash * odd + row_hash(window_row(tx, r), tile_span * sizeof(std::uint32_t));
  return hash;
}

}  // namespace demtiler
