// How demscan reads a height back from a pixel.
//
// Red 255 marks an empty sample. Any other pixel holds 256 * red + blue; the
// green-offset decoding (any mode but 0) adds green - 127 to that, so that a
// retoucher can raise or lower a height by up to 128 in the green channel.
// The alpha byte is never looked at.
#pragma once

#include <cstdint>
#include <span>

#include "layouts.hpp"

namespace demscan {

using heightio::pixel_size;

// Every byte combination and mode gives a sample; the plain decoding gives
// 0 ... 65279 and the green-offset decoding -127 ... 65407, all exact floats.
inline float decode_height_pixel(std::span<const std::uint8_t, pixel_size> pixel,
                                 std::uint16_t mode) {
  const int blue = pixel[heightio::channel::blue];
  const int green_offset = mode == 0 ? 0 : pixel[heightio::channel::green] - 127;
  const int red = pixel[heightio::channel::red];
  return red == 255 ? 0.0f : static_cast<float>(256 * red + blue + green_offset);
}

// The whole number decode_height_pixel gives for a pixel read as one
// little-endian word, branch-free so that loops over a row become vector
// instructions; empty samples give 0.
template <bool green_offset>
[[gnu::always_inline]] inline std::int32_t decoded_number(std::uint32_t word) {
  const auto b = static_cast<std::int32_t>((word >> (8 * heightio::channel::blue)) & 0xFF);
  const auto g = static_cast<std::int32_t>((word >> (8 * heightio::channel::green)) & 0xFF);
  const auto r = static_cast<std::int32_t>((word >> (8 * heightio::channel::red)) & 0xFF);
  const std::int32_t value = 256 * r + b + (green_offset ? g - 127 : 0);
  // Masked rather than branched on.
  const std::int32_t keep = -static_cast<std::int32_t>(r != 255);
  return value & keep;
}

}  // namespace demscan
