// How dempaint paints a height into a pixel.
//
// The height is truncated toward zero and only its low 16 bits are kept: the
// low byte goes into blue and again into green, the high byte into red, and
// the alpha byte is 255, so that image editors show and keep the picture as
// opaque. Heights from 65280 up (and all negative ones) get red 255, which
// demscan reads back as an empty sample.
#pragma once

#include <cstdint>
#include <span>

#include "layouts.hpp"

namespace dempaint {

using heightio::Pixel;
using heightio::pixel_size;

// A sample without a 64-bit integer value (NaN, infinity, beyond +-2^63) ends
// the program with run-time error 207.
Pixel encode_height_pixel(float h);

// Ends the program with 207, as encoding would, at the first sample of the
// row that has no 64-bit integer value; the plain words name it by `row` (from
// 0) and its column.
void check_encodable(std::span<const float> samples, std::uint32_t row);

// Whether every sample h lies in low <= h < high, told for a whole row
// without branches, so that the common case stays a tight loop the compiler
// turns into vector compares; a NaN lies nowhere.
bool all_in_range(std::span<const float> samples, float low, float high);

// Paints a row of samples where it lies: the 4 bytes of each sample become
// its pixel. Returns 207 for a row with a sample that has no 64-bit integer
// value, 0 otherwise. Safe on any thread.
std::int32_t paint_row(std::span<std::uint8_t> row);

}  // namespace dempaint
