// The TGA reader of demscan on files built byte by byte: where run-length
// encoded data stop, and which headers it takes.
#include "tga_reader.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "record_file.hpp"
#include "test_support.hpp"

namespace {

using namespace heightio;
using namespace demscan;
using heightio_test::temp_file;

std::string pixel_bytes(int value) {
  return {static_cast<char>(value), static_cast<char>(value >> 8), 7, 0};
}

TEST(TgaReader, RunLengthDataAreReadUpToTheirLastPixelAndNoFurther) {
  // 300 x 2, top row first: a run of 300 equal pixels, then 300 stored pixels
  // whose last packet claims 10 pixels more than the image has.
  std::string bytes = test_data::tga_header(300, 2, {.type = 10, .top_row_first = true});
  for (const int run : {128, 128, 44})
    bytes += static_cast<char>(0x80 | (run - 1)) + pixel_bytes(5);
  int next = 0;
  for (const int count : {128, 128, 54}) {
    bytes += static_cast<char>(count - 1);
    for (int k = 0; k < count && next < 300; ++k) bytes += pixel_bytes(next++);
  }
  bytes += "FOOTER";

  RecordFile image;
  open_existing(image, temp_file("packets.tga", bytes), 1);
  PixelReader reader = start_pixel_data(image);
  ASSERT_TRUE(reader.layout.top_row_first);
  std::vector<std::uint8_t> row(300 * 4);
  std::string rows;
  for (int r = 0; r < 2; ++r) {
    read_pixel_row(reader, row.data());
    rows.append(row.begin(), row.end());
  }
  std::string expected;
  for (int c = 0; c < 300; ++c) expected += pixel_bytes(5);
  for (int c = 0; c < 300; ++c) expected += pixel_bytes(c);
  EXPECT_EQ(rows, expected);

  std::string footer(6, '\0');
  read_block(image, footer.data(), footer.size());
  EXPECT_EQ(heightio_test::take_pending(), 0);
  EXPECT_EQ(footer, "FOOTER");
  close_file(image);
}

}  // namespace
