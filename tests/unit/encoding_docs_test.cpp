// The README's and the user guide's word on what comes back from a round
// trip, held to the encoding itself: every row of their encoding tables and
// every "H as V" or "H gives V" example is run through dempaint's pixel encoding and
// demscan's decoding.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "pixel_decoding.hpp"
#include "pixel_encoding.hpp"

namespace {

std::vector<std::string> cells_of(const std::string& row) {
  std::vector<std::string> cells;
  std::stringstream in(row.substr(1));
  for (std::string cell; std::getline(in, cell, '|');) {
    const auto first = cell.find_first_not_of(' ');
    cells.push_back(first == std::string::npos
                        ? ""
                        : cell.substr(first, cell.find_last_not_of(' ') - first + 1));
  }
  return cells;
}

float round_trip(float height, std::uint16_t mode) {
  const dempaint::Pixel pixel = dempaint::encode_height_pixel(height);
  return demscan::decode_height_pixel(pixel, mode);
}

std::string pixel_text(float height) {
  const dempaint::Pixel pixel = dempaint::encode_height_pixel(height);
  char text[16];
  std::snprintf(text, sizeof text, "%02X %02X %02X %02X", pixel[0], pixel[1], pixel[2], pixel[3]);
  return text;
}

// The leading number of a cell such as "4464 (70000 wraps)" or "0 (empty)".
float leading_number(const std::string& cell) {
  return std::stof(cell);
}

void check_document(const char* path) {
  SCOPED_TRACE(path);
  std::ifstream in(path);
  ASSERT_TRUE(in) << "cannot read " << path;
  const std::regex pixel_cell("([0-9A-F.]{2} ){3}[0-9A-F.]{2}");
  const std::regex range_cell("(-?[0-9]+) to (-?[0-9]+)");
  const std::regex example("(?:^|[^0-9.])(-?[0-9]+(?:\\.[0-9]+)?) (?:as|gives) ([0-9]+)");
  int rows = 0;
  int examples = 0;
  for (std::string line; std::getline(in, line);) {
    for (auto it = std::sregex_iterator(line.begin(), line.end(), example);
         it != std::sregex_iterator(); ++it, ++examples) {
      EXPECT_EQ(round_trip(std::stof((*it)[1]), 0), std::stof((*it)[2])) << line;
    }
    if (!line.starts_with("| ")) continue;
    const std::vector<std::string> cells = cells_of(line);
    if (cells.size() < 4 || !std::regex_match(cells[1], pixel_cell)) continue;
    ++rows;
    std::smatch range;
    std::vector<float> heights;
    if (std::regex_match(cells[0], range, range_cell))
      heights = {std::stof(range[1]), std::stof(range[2])};
    else
      heights = {leading_number(cells[0])};
    for (const float height : heights) {
      if (heights.size() == 1) {
        EXPECT_EQ(pixel_text(height), cells[1]) << line;
      }
      EXPECT_EQ(round_trip(height, 0), leading_number(cells[2])) << line;
      EXPECT_EQ(round_trip(height, 1), leading_number(cells[3])) << line;
    }
  }
  EXPECT_GE(rows, 5) << "the encoding table was not found";
  EXPECT_GE(examples, 1);
}

TEST(EncodingDocs, TablesAndExamplesMatchTheEncoding) {
  check_document(README_PATH);
  check_document(GUIDE_PATH);
}

}  // namespace
