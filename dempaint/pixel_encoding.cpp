#include "pixel_encoding.hpp"

#include <cstring>

#include "error_codes.hpp"
#include "failure.hpp"
#include "processor.hpp"
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

// The loops over a row below are inlined into a build for SSE2 and one for
// AVX2.

// A pixel as one little-endian word: v's low byte in blue and green, the next
// byte in red, alpha 255. Only v's low 16 bits count, so a 32-bit v gives the
// same pixel as the 64-bit one.
[[gnu::always_inline]] inline std::uint32_t pixel_word(std::uint32_t v) {
  return (v & 0xFFu) * 0x0101u | (v & 0xFF00u) << 8 | std::uint32_t{opaque} << 24;
}

// Whole numbers of 32 and of 64 bits.
constexpr float int32_limit = 0x1p31f;
constexpr float int64_limit = 0x1p63f;

[[gnu::always_inline]] inline float sample_at(const std::uint8_t* bytes, std::size_t c) {
  float h;
  std::memcpy(&h, bytes + c * pixel_size, sizeof h);
  return h;
}

void store_pixel(std::span<std::uint8_t> pixels, std::size_t c, const Pixel& pixel) {
  std::memcpy(pixels.data() + c * pixel_size, pixel.data(), pixel_size);
}

[[gnu::always_inline]] inline bool samples_in_range(const float* samples, std::size_t count,
                                                    float low, float high) {
  std::uint32_t outside = 0;
  for (std::size_t c = 0; c < count; ++c) {
    const float h = samples[c];
    outside |= static_cast<std::uint32_t>(!(h >= low)) | static_cast<std::uint32_t>(!(h < high));
  }
  return outside == 0;
}

bool in_range_sse2(const float* samples, std::size_t count, float low, float high) {
  return samples_in_range(samples, count, low, high);
}

[[gnu::target("avx2")]] bool in_range_avx2(const float* samples, std::size_t count, float low,
                                           float high) {
  return samples_in_range(samples, count, low, high);
}

// The usual terrain: every sample truncates to a 32-bit integer. Copied
// through a single address, so the compiler sees the row's bytes read and
// written in place and turns the loop into vector instructions.
[[gnu::always_inline]] inline void paint_whole_numbers(std::uint8_t* bytes, std::size_t count) {
  for (std::size_t c = 0; c < count; ++c) {
    const std::uint32_t word =
        pixel_word(static_cast<std::uint32_t>(static_cast<std::int32_t>(sample_at(bytes, c))));
    std::memcpy(bytes + c * pixel_size, &word, pixel_size);
  }
}

void paint_whole_numbers_sse2(std::uint8_t* bytes, std::size_t count) {
  paint_whole_numbers(bytes, count);
}

[[gnu::target("avx2")]] void paint_whole_numbers_avx2(std::uint8_t* bytes, std::size_t count) {
  paint_whole_numbers(bytes, count);
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
  return heightio::has_avx2() ? in_range_avx2(samples.data(), samples.size(), low, high)
                              : in_range_sse2(samples.data(), samples.size(), low, high);
}

std::int32_t paint_row(std::span<std::uint8_t> row) {
  std::uint8_t* const bytes = row.data();
  const std::size_t count = row.size() / pixel_size;
  const std::span<const float> samples(reinterpret_cast<const float*>(bytes), count);
  if (all_in_range(samples, -int32_limit, int32_limit)) {
    if (heightio::has_avx2())
      paint_whole_numbers_avx2(bytes, count);
    else
      paint_whole_numbers_sse2(bytes, count);
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
