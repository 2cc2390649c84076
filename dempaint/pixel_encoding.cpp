#include "pixel_encoding.hpp"

#include <cstring>

#include "error_codes.hpp"
#include "failure.hpp"
#include "unpaintable_sample.hpp"

namespace dempaint {
namespace {

constexpr std::uint8_t opaque = 0xFF;

constexpr Pixel pixel_of(std::int64_t v) {
  const auto low = static_cast<std::uint8_t>(v);
  const auto high = static_cast<std::uint8_t>(v >> 8);
  Pixel pixel{};
  pixel[heightio::channel::blue] = low;
  pixel[heightio::channel::green] = low;
  pixel[heightio::channel::red] = high;
  pixel[heightio::channel::alpha] = opaque;
  return pixel;
}

// A pixel as one little-endian word: v's low byte in blue and green, the next
// byte in red, alpha 255. Only v's low 16 bits count, so a 32-bit v gives the
// same pixel as the 64-bit one.
std::uint32_t pixel_word(std::uint32_t v) {
  return (v & 0xFFu) * 0x0101u | (v & 0xFF00u) << 8 | std::uint32_t{opaque} << 24;
}

// Whole numbers of 32 and of 64 bits.
constexpr float int32_limit = 0x1p31f;
constexpr float int64_limit = 0x1p63f;

float sample_at(const std::uint8_t* bytes, std::size_t c) {
  float h;
  std::memcpy(&h, bytes + c * pixel_size, sizeof h);
  return h;
}

void store_pixel(std::span<std::uint8_t> pixels, std::size_t c, const Pixel& pixel) {
  std::memcpy(pixels.data() + c * pixel_size, pixel.data(), pixel_size);
}

}  // namespace

Pixel encode_height_pixel(float h) {
  return pixel_of(heightio::truncate_to_int64(h));
}

void check_encodable(std::span<const float> samples, std::uint32_t row) {
  if (all_in_range(samples, -int64_limit, int64_limit)) return;
  for (std::size_t c = 0; c < samples.size(); ++c) {
    if (!all_in_range(samples.subspan(c, 1), -int64_limit, int64_limit))
      heightio::raise_at_call_site(heightio::code::invalid_float_operation,
                                   unpaintable_sample(row, c, samples[c]));
  }
}

bool all_in_range(std::span<const float> samples, float low, float high) {
  std::uint32_t outside = 0;
  for (const float h : samples)
    outside |= static_cast<std::uint32_t>(!(h >= low)) | static_cast<std::uint32_t>(!(h < high));
  return outside == 0;
}

std::int32_t paint_row(std::span<std::uint8_t> row) {
  std::uint8_t* const bytes = row.data();
  const std::size_t count = row.size() / pixel_size;
  const std::span<const float> samples(reinterpret_cast<const float*>(bytes), count);
  if (all_in_range(samples, -int32_limit, int32_limit)) {
    // The usual terrain: every sample truncates to a 32-bit integer. Copied
    // through a single address, so the compiler sees the row's bytes read and
    // written in place and turns the loop into vector instructions.
    for (std::size_t c = 0; c < count; ++c) {
      const std::uint32_t word =
          pixel_word(static_cast<std::uint32_t>(static_cast<std::int32_t>(sample_at(bytes, c))));
      std::memcpy(bytes + c * pixel_size, &word, pixel_size);
    }
    return 0;
  }
  if (!all_in_range(samples, -int64_limit, int64_limit))
    return heightio::code::invalid_float_operation;
  // Each sample is read before its own pixel is stored over it.
  for (std::size_t c = 0; c < count; ++c)
    store_pixel(row, c, pixel_of(static_cast<std::int64_t>(sample_at(bytes, c))));
  return 0;
}

}  // namespace dempaint
