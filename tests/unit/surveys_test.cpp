// The surveys that count, as the rows pass, the heights dempaint cannot bring
// back and the pixels demscan reads whose heights were made up; rows wide
// enough to go through the block-wise counting as well as the rest.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "height_survey.hpp"
#include "pixel_survey.hpp"
#include "soft_edges.hpp"

namespace {

TEST(HeightSurvey, CountsTheSamplesOutsideWithTheLowestAndHighest) {
  dempaint::HeightSurvey survey;
  std::vector<float> row(100, 65279.5f);
  survey.add_row(row);
  EXPECT_EQ(survey.outside, 0u);
  row[20] = -2.0f;
  survey.add_row(row);
  EXPECT_EQ(survey.outside, 1u);
  row[20] = 0.0f;
  row[70] = 70000.0f;
  row[99] = -1.0f;
  survey.add_row(row);
  EXPECT_EQ(survey.outside, 3u);
  EXPECT_EQ(survey.lowest, -2.0f);
  EXPECT_EQ(survey.highest, 70000.0f);
  EXPECT_EQ(dempaint::round_trip_height(-2.0f), 0);
  EXPECT_EQ(dempaint::round_trip_height(-257.9f), 65279);
  EXPECT_EQ(dempaint::round_trip_height(70000.0f), 4464);
}

// A row of `width` pixels painted as dempaint paints height 5.
std::vector<std::uint8_t> painted_row(std::size_t width) {
  std::vector<std::uint8_t> pixels;
  for (std::size_t c = 0; c < width; ++c) pixels.insert(pixels.end(), {5, 5, 0, 0});
  return pixels;
}

// Decodes a copy of the row and adds it to the survey as picture row y.
void add_row(demscan::PixelSurvey& survey, std::vector<std::uint8_t> row, std::uint32_t y,
             std::uint16_t mode) {
  survey.add(demscan::decode_row_in_place(row, mode), y);
}

TEST(PixelSurvey, CountsForeignPixelsAndKeepsTheTopMostLeftMost) {
  demscan::PixelSurvey survey;
  std::vector<std::uint8_t> lower = painted_row(100);
  lower[20 * 4 + 1] = 9;
  std::vector<std::uint8_t> upper = painted_row(100);
  upper[0 * 4 + 1] = 9;
  upper[70 * 4 + 1] = 9;
  upper[10 * 4 + 1] = 9;
  upper[10 * 4 + 2] = 255;  // red 255: empty, whatever green holds
  add_row(survey, lower, 5, 0);
  EXPECT_EQ(survey.first_x, 20u);
  add_row(survey, upper, 3, 0);
  EXPECT_EQ(survey.foreign, 3u);
  EXPECT_EQ(survey.first_x, 0u);
  EXPECT_EQ(survey.first_y, 3u);
  EXPECT_EQ(survey.samples, 200u);
  EXPECT_TRUE(survey.any_height);

  // The first foreign pixel of a row found past the row's first block.
  demscan::PixelSurvey wide;
  std::vector<std::uint8_t> row = painted_row(300);
  row[230 * 4 + 1] = 9;
  row[290 * 4 + 1] = 9;
  add_row(wide, row, 7, 0);
  EXPECT_EQ(wide.foreign, 2u);
  EXPECT_EQ(wide.first_x, 230u);

  demscan::PixelSurvey green_offsets;
  add_row(green_offsets, lower, 0, 1);
  EXPECT_EQ(green_offsets.foreign, 0u);
}

TEST(PixelSurvey, TellsAPictureWithoutAnyHeight) {
  demscan::PixelSurvey survey;
  std::vector<std::uint8_t> pixels = painted_row(100);
  for (std::size_t c = 0; c < 100; ++c) pixels[c * 4 + 2] = 255;  // every pixel empty
  add_row(survey, pixels, 0, 0);
  EXPECT_FALSE(survey.any_height);
  EXPECT_NE(demscan::empty_picture_warning(survey), "");
  pixels[65 * 4 + 2] = 0;
  add_row(survey, pixels, 1, 0);
  EXPECT_TRUE(survey.any_height);
  EXPECT_EQ(demscan::empty_picture_warning(survey), "");
}

// A pure red block over rows 20 on, with a blend of red into the row above
// it; the terrain above lies either below the blend (a soft edge, 20 pixels
// counted) or above it (none). Rows coded only near pure red, as when the
// rows before stay in place, must count what rows coded as they come count.
TEST(SoftEdgeSurvey, CountsTheSameWhetherRowsAreCodedAsTheyComeOrOnlyNearPureRed) {
  constexpr std::uint32_t size = 40;
  const auto pixel = [](std::uint32_t height) {
    const auto low = static_cast<std::uint8_t>(height & 0xFF);
    return std::vector<std::uint8_t>{low, low, static_cast<std::uint8_t>(height >> 8), 255};
  };
  for (const bool falls : {true, false}) {
    std::vector<std::vector<std::uint8_t>> rows(size);
    for (std::uint32_t y = 0; y < size; ++y) {
      for (std::uint32_t x = 0; x < size; ++x) {
        const bool red = y >= 20 && x >= 10 && x < 30;
        const std::uint32_t terrain = falls ? 20000 : 50000;
        std::vector<std::uint8_t> p = red ? std::vector<std::uint8_t>{0, 0, 255, 255}
                                          : pixel(y == 19 && x >= 10 && x < 30 ? 42512 : terrain);
        rows[y].insert(rows[y].end(), p.begin(), p.end());
      }
    }
    for (const std::uint32_t rows_in_place : {1u, size}) {
      demscan::SoftEdgeSurvey survey(size, size, true, rows_in_place);
      for (const auto& row : rows) survey.add_row(row);
      EXPECT_EQ(survey.count(), falls ? 20u : 0u) << rows_in_place;
      if (falls) {
        EXPECT_EQ(survey.first_x(), 10u);
        EXPECT_EQ(survey.first_y(), 19u);
      }
    }
  }
}

}  // namespace
