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

// Decodes pixels.size() / 4 == samples.size() pixels.
void decode_height_row(std::span<const std::uint8_t> pixels, std::span<float> samples,
                       std::uint16_t mode);

// Decodes a row of pixels where it lies: the 4 bytes of each pixel become its
// sample. Safe on any thread.
void decode_height_row_in_place(std::span<std::uint8_t> row, std::uint16_t mode);

}  // namespace demscan
