#include "pixel_encoding.hpp"

#include <cstring>

#include "failure.hpp"

namespace dempaint {
namespace {

constexpr Pixel pixel_of(std::int64_t v) {
  const auto low = static_cast<std::uint8_t>(v);
  const auto high = static_cast<std::uint8_t>(v >> 8);
  return {low, low, high, 0};
}

// The same range test as truncate_to_int64, done for a whole row without
// branches so that the common case of a clean row stays a tight loop.
bool all_have_integer_values(std::span<const float> samples) {
  bool all = true;
  for (const float h : samples) all &= (h >= -0x1p63f) & (h < 0x1p63f);
  return all;
}

void store_pixel(std::span<std::uint8_t> pixels, std::size_t c, const Pixel& pixel) {
  std::memcpy(pixels.data() + c * pixel_size, pixel.data(), pixel_size);
}

}  // namespace

Pixel encode_height_pixel(float h) {
  return pixel_of(heightio::truncate_to_int64(h));
}

void encode_height_row(std::span<const float> samples, std::span<std::uint8_t> pixels) {
  if (!all_have_integer_values(samples)) {
    // The checked conversion, sample by sample, ends the program at the
    // first sample that has no integer value.
    for (std::size_t c = 0; c < samples.size(); ++c)
      store_pixel(pixels, c, encode_height_pixel(samples[c]));
    return;
  }
  for (std::size_t c = 0; c < samples.size(); ++c)
    store_pixel(pixels, c, pixel_of(static_cast<std::int64_t>(samples[c])));
}

}  // namespace dempaint
