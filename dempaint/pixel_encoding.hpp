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

// Paints a row of samples where it lies: the 4 bytes of each sample become
// its pixel. Only the usual terrain, whose every sample truncates to a 32-bit
// integer, is painted here, with no possible failure; any other row is left
// as it is and false returned. Safe on any thread.
bool paint_usual_row(std::span<std::uint8_t> row);

// Paints any row of samples where it lies; a sample without a 64-bit integer
// value ends the program with 207, the samples before it painted.
void paint_row(std::span<std::uint8_t> row);

}  // namespace dempaint
