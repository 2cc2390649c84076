#include "test_data.hpp"

#include <cstring>

namespace test_data {

std::string crlf_lines(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (const std::string_view l : lines) (text += l) += "\r\n";
  return text;
}

std::string float_bytes(const std::vector<float>& samples) {
  std::string bytes;
  for (const float sample : samples) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &sample, sizeof bits);
    bytes += u32_bytes(bits);
  }
  return bytes;
}

std::string u32_bytes(std::uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

float float_from_bits(std::uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

namespace {
void put_u16(std::string& bytes, std::uint16_t value) {
  bytes += static_cast<char>(value & 0xFF);
  bytes += static_cast<char>(value >> 8);
}
}  // namespace

std::string tga_header(std::uint16_t width, std::uint16_t height, const TgaLayout& layout) {
  std::string bytes;
  bytes += static_cast<char>(layout.id.size());
  bytes += static_cast<char>(layout.colour_map_entries > 0 ? 1 : 0);
  bytes += static_cast<char>(layout.type);
  put_u16(bytes, 0);
  put_u16(bytes, layout.colour_map_entries);
  bytes += static_cast<char>(layout.colour_map_entry_bits);
  put_u16(bytes, 0);
  put_u16(bytes, 0);
  put_u16(bytes, width);
  put_u16(bytes, height);
  bytes += static_cast<char>(layout.depth);
  // 8 attribute bits for 32-bit pixels; bit 4 right to left, bit 5 top row first.
  bytes += static_cast<char>((layout.depth == 32 ? 8 : 0) | (layout.right_to_left ? 0x10 : 0) |
                             (layout.top_row_first ? 0x20 : 0));
  bytes += layout.id;
  return bytes +
         std::string(layout.colour_map_entries * ((layout.colour_map_entry_bits + 7) / 8), '\x5A');
}

Raster example_raster() {
  Raster raster(220, 148);
  raster.set(10, 100, 1234.5f);
  raster.set(100, 30, 7.5f);
  raster.set(100, 100, -20.0f);
  return raster;
}

std::string sample_template() {
  std::string bytes(4000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 256);
  return bytes;
}

std::string expected_archive(const std::function<float(std::size_t, std::size_t)>& sample_at,
                             const std::vector<TileIndex>& tiles,
                             const std::string& template_bytes) {
  const auto n = static_cast<std::uint32_t>(tiles.size());
  std::string bytes = std::string("GND\x0B", 4) + u32_bytes(n);
  std::uint32_t offset = 3808 + 16 * n;
  for (const auto& [ty, tx] : tiles) {
    bytes += u32_bytes(ty) + u32_bytes(tx) + u32_bytes(offset) + u32_bytes(offset + 57764);
    offset += 57764 + 65554;
  }
  bytes += template_bytes.substr(0, 3800);
  const std::string texture = std::string("\0\0\x02", 3) + std::string(9, '\0') +
                              std::string("\x80\0\x80\0\x20\x08", 6) + std::string(65536, '\0');
  for (const auto& [ty, tx] : tiles) {
    bytes += u32_bytes(0);
    for (int k = 0; k < 76; ++k) {
      for (int r = 0; r < 76; ++r) {
        const float sample = sample_at(72 * ty + r, 72 * tx + k);
        bytes +=
            std::string("\xFD\0\0", 3) + float_bytes({sample / 10.0f}) + std::string("\0\0\x7E", 3);
      }
    }
    bytes += texture;
  }
  return bytes;
}

std::string expected_archive(const Raster& raster, const std::vector<TileIndex>& tiles,
                             const std::string& template_bytes) {
  return expected_archive(
      [&](std::size_t row, std::size_t column) {
        return raster.samples[row * raster.width + column];
      },
      tiles, template_bytes);
}

}  // namespace test_data
