// How dempaint paints a height into a pixel.
//
// The height is truncated toward zero and only its low 16 bits are kept: the
// low byte goes into blue and again into green, the high byte into red, and
// the alpha byte stays 0. Heights from 65280 up (and all negative ones) thus
// get red 255, which demscan reads back as an empty sample.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace dempaint {

// Blue, green, red, alpha: the byte order of a 32-bit TGA pixel.
using Pixel = std::array<std::uint8_t, 4>;
inline constexpr std::size_t pixel_size = sizeof(Pixel);

// A sample without a 64-bit integer value (NaN, infinity, beyond +-2^63) ends
// the program with run-time error 207.
Pixel encode_height_pixel(float h);

// Encodes a row of samples into pixels.size() / 4 == samples.size() pixels.
void encode_height_row(std::span<const float> samples, std::span<std::uint8_t> pixels);

}  // namespace dempaint
