// The two file layouts that cross programs: the height raster and the 18-byte
// TGA header. All multi-byte numbers are little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace heightio {

// A height raster is headerless: W x H 32-bit float samples, row after row,
// the first row being the top of the picture. All-zero bits mark an empty sample.
inline constexpr std::uint32_t sample_size = 4;

inline constexpr std::size_t tga_header_size = 18;
using TgaHeader = std::array<std::uint8_t, tga_header_size>;

// Offsets of the header fields that the tool chain reads or writes.
namespace tga {
inline constexpr std::size_t id_length = 0;
inline constexpr std::size_t color_map_type = 1;
inline constexpr std::size_t image_type = 2;
inline constexpr std::size_t color_map_length = 5;
inline constexpr std::size_t color_map_entry_bits = 7;
inline constexpr std::size_t width = 12;
inline constexpr std::size_t height = 14;
inline constexpr std::size_t pixel_depth = 16;
inline constexpr std::size_t descriptor = 17;
}  // namespace tga

// A 32-bit TGA pixel holds its bytes in the order blue, green, red, alpha.
namespace channel {
inline constexpr std::size_t blue = 0;
inline constexpr std::size_t green = 1;
inline constexpr std::size_t red = 2;
inline constexpr std::size_t alpha = 3;
}  // namespace channel
inline constexpr std::size_t pixel_size = 4;
using Pixel = std::array<std::uint8_t, pixel_size>;

// Uncompressed true colour (type 2), 32 bits per pixel, 8 attribute bits and
// the bottom row stored first (descriptor 8).
TgaHeader make_tga_header(std::uint16_t width, std::uint16_t height);

struct TgaSize {
  std::uint16_t width;
  std::uint16_t height;
};

// The width and height at offsets 12 and 14; no other byte is looked at.
TgaSize read_tga_size(const TgaHeader& header);

// Little-endian field access, shared by every layout of the tool chain.
constexpr std::uint16_t load_u16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}
constexpr void store_u16(std::uint8_t* bytes, std::uint16_t value) {
  bytes[0] = static_cast<std::uint8_t>(value);
  bytes[1] = static_cast<std::uint8_t>(value >> 8);
}
constexpr void store_u32(std::uint8_t* bytes, std::uint32_t value) {
  store_u16(bytes, static_cast<std::uint16_t>(value));
  store_u16(bytes + 2, static_cast<std::uint16_t>(value >> 16));
}

}  // namespace heightio
