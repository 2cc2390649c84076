#include "pixel_decoding.hpp"

#include <cstring>

namespace demscan {
namespace {

using heightio::channel::blue;
using heightio::channel::green;
using heightio::channel::red;

// The decoding of decode_height_pixel for a pixel read as one little-endian
// word, branch-free so that the loops over a row become vector instructions.
template <bool green_offset>
float decoded(std::uint32_t word) {
  const std::int32_t b = static_cast<std::int32_t>((word >> (8 * blue)) & 0xFF);
  const std::int32_t g = static_cast<std::int32_t>((word >> (8 * green)) & 0xFF);
  const std::int32_t r = static_cast<std::int32_t>((word >> (8 * red)) & 0xFF);
  const std::int32_t value = 256 * r + b + (green_offset ? g - 127 : 0);
  // Masked rather than branched on; 0 converts to +0.0.
  const std::int32_t keep = -static_cast<std::int32_t>(r != 255);
  return static_cast<float>(value & keep);
}

template <bool green_offset>
void decode_row(const std::uint8_t* pixels, float* samples, std::size_t count) {
  for (std::size_t c = 0; c < count; ++c) {
    std::uint32_t word;
    std::memcpy(&word, pixels + c * pixel_size, pixel_size);
    samples[c] = decoded<green_offset>(word);
  }
}

// Through a single address, so that the compiler sees each pixel read and its
// sample stored in the same place.
template <bool green_offset>
void decode_row_in_place(std::uint8_t* row, std::size_t count) {
  static_assert(sizeof(float) == pixel_size);
  for (std::size_t c = 0; c < count; ++c) {
    std::uint32_t word;
    std::memcpy(&word, row + c * pixel_size, pixel_size);
    const float sample = decoded<green_offset>(word);
    std::memcpy(row + c * pixel_size, &sample, pixel_size);
  }
}

}  // namespace

void decode_height_row(std::span<const std::uint8_t> pixels, std::span<float> samples,
                       std::uint16_t mode) {
  if (mode == 0)
    decode_row<false>(pixels.data(), samples.data(), samples.size());
  else
    decode_row<true>(pixels.data(), samples.data(), samples.size());
}

void decode_height_row_in_place(std::span<std::uint8_t> row, std::uint16_t mode) {
  if (mode == 0)
    decode_row_in_place<false>(row.data(), row.size() / pixel_size);
  else
    decode_row_in_place<true>(row.data(), row.size() / pixel_size);
}

}  // namespace demscan
