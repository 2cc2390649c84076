#include "pixel_decoding.hpp"

#include <cstring>

namespace demscan {
namespace {

using heightio::channel::blue;
using heightio::channel::green;
using heightio::channel::red;

// The decoding of decode_height_pixel over a row, with the mode decided once
// and a branch-free body that the compiler turns into vector instructions.
template <bool green_offset>
void decode_row(const std::uint8_t* pixels, float* samples, std::size_t count) {
  for (std::size_t c = 0; c < count; ++c) {
    std::uint32_t word;
    std::memcpy(&word, pixels + c * pixel_size, pixel_size);
    const std::int32_t b = static_cast<std::int32_t>((word >> (8 * blue)) & 0xFF);
    const std::int32_t g = static_cast<std::int32_t>((word >> (8 * green)) & 0xFF);
    const std::int32_t r = static_cast<std::int32_t>((word >> (8 * red)) & 0xFF);
    const std::int32_t value = 256 * r + b + (green_offset ? g - 127 : 0);
    // Masked rather than branched on, so the loop needs no branch; 0
    // converts to +0.0.
    const std::int32_t keep = -static_cast<std::int32_t>(r != 255);
    samples[c] = static_cast<float>(value & keep);
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

}  // namespace demscan
