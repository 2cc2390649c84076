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

}  // namespace test_data
