#include "layouts.hpp"

#include <gtest/gtest.h>

namespace {

using namespace heightio;

TEST(TgaHeaderLayout, TileTextureHeaderBytes) {
  const TgaHeader expected{0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                           0x00, 0x00, 0x00, 0x80, 0x00, 0x80, 0x00, 0x20, 0x08};
  EXPECT_EQ(make_tga_header(128, 128), expected);
}

TEST(TgaHeaderLayout, SizesAreLittleEndianAndReadBackWhateverTheOtherFields) {
  TgaHeader header = make_tga_header(300, 2);
  EXPECT_EQ(header[12], 0x2C);
  EXPECT_EQ(header[13], 0x01);
  EXPECT_EQ(header[14], 0x02);
  EXPECT_EQ(header[15], 0x00);
  header[tga::image_type] = 10;
  header[tga::pixel_depth] = 24;
  header[tga::id_length] = 7;
  const TgaSize size = read_tga_size(header);
  EXPECT_EQ(size.width, 300);
  EXPECT_EQ(size.height, 2);
}

}  // namespace
