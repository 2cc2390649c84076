#include "layouts.hpp"

namespace heightio {

TgaHeader make_tga_header(std::uint16_t width, std::uint16_t height) {
  TgaHeader header{};
  header[tga::image_type] = 2;
  store_u16(&header[tga::width], width);
  store_u16(&header[tga::height], height);
  header[tga::pixel_depth] = 32;
  header[tga::descriptor] = 8;
  return header;
}

TgaSize read_tga_size(const TgaHeader& header) {
  return {load_u16(&header[tga::width]), load_u16(&header[tga::height])};
}

}  // namespace heightio
