// The surveys that count, as the rows pass, the heights dempaint cannot bring
// back and the pixels demscan reads whose heights were made up; rows wide
// enough to go through the block-wise counting as well as the rest.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "height_survey.hpp"
#include "pixel_survey.hpp"

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

TEST(PixelSurvey, CountsForeignPixelsAndKeepsTheTopMostLeftMost) {
  demscan::PixelSurvey survey;
  const std::vector<float> samples(100, 5.0f);
  std::vector<std::uint8_t> lower = painted_row(100);
  lower[20 * 4 + 1] = 9;
  std::vector<std::uint8_t> upper = painted_row(100);
  upper[0 * 4 + 1] = 9;
  upper[70 * 4 + 1] = 9;
  upper[10 * 4 + 1] = 9;
  upper[10 * 4 + 2] = 255;  // red 255: empty, whatever green holds
  survey.add_row(lower, samples, 5, 0);
  EXPECT_EQ(survey.first_x, 20u);
  survey.add_row(upper, samples, 3, 0);
  EXPECT_EQ(survey.foreign, 3u);
  EXPECT_EQ(survey.first_x, 0u);
  EXPECT_EQ(survey.first_y, 3u);
  EXPECT_EQ(survey.samples, 200u);
  EXPECT_TRUE(survey.any_height);

  demscan::PixelSurvey green_offsets;
  green_offsets.add_row(lower, samples, 0, 1);
  EXPECT_EQ(green_offsets.foreign, 0u);
}

TEST(PixelSurvey, TellsAPictureWithoutAnyHeight) {
  demscan::PixelSurvey survey;
  std::vector<float> samples(100, 0.0f);
  const std::vector<std::uint8_t> pixels = painted_row(100);
  survey.add_row(pixels, samples, 0, 0);
  EXPECT_FALSE(survey.any_height);
  EXPECT_NE(demscan::empty_picture_warning(survey), "");
  samples[65] = 1.0f;
  survey.add_row(pixels, samples, 1, 0);
  EXPECT_TRUE(survey.any_height);
  EXPECT_EQ(demscan::empty_picture_warning(survey), "");
}

}  // namespace
