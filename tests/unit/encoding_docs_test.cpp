// The README's and the user guide's word on what comes back from a round
// trip, held to the encoding itself: every row of their encoding tables and
// every "H as V" or "H gives V" example is run through dempaint's pixel encoding and
// demscan's decoding.
#include <gtest/gtest.h>

#include <cctype>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
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

// The number that `text` begins with, when it is followed by nothing or by
// a blank ("4464 (70000 wraps)", "0 (empty)").
std::optional<float> leading_number(std::string_view text) {
  float value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || (end != text.data() + text.size() && *end != ' '))
    return std::nullopt;
  return value;
}

// "A to B", two whole numbers.
std::optional<std::pair<float, float>> range_cell(std::string_view text) {
  const std::size_t to = text.find(" to ");
  if (to == std::string_view::npos) return std::nullopt;
  const auto low = leading_number(text.substr(0, to));
  const auto high = leading_number(text.substr(to + 4));
  if (!low || !high) return std::nullopt;
  return std::pair{*low, *high};
}

// "XX XX XX XX", hexadecimal bytes or ".." for any byte.
bool pixel_cell(std::string_view text) {
  if (text.size() != 11) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool ok = i % 3 == 2 ? c == ' '
                               : std::isdigit(static_cast<unsigned char>(c)) ||
                                     (c >= 'A' && c <= 'F') || c == '.';
    if (!ok) return false;
  }
  return true;
}

bool number_byte(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) || c == '.';
}

// Every "H as V" and "H gives V" of a line, V a whole number.
std::vector<std::pair<float, float>> examples_in(std::string_view line) {
  std::vector<std::pair<float, float>> examples;
  for (const std::string_view word : {" as ", " gives "}) {
    for (std::size_t at = line.find(word); at != std::string_view::npos;
         at = line.find(word, at + 1)) {
      std::size_t start = at;
      while (start > 0 && number_byte(line[start - 1])) --start;
      if (start > 0 && line[start - 1] == '-') --start;
      std::size_t stop = at + word.size();
      while (stop < line.size() && std::isdigit(static_cast<unsigned char>(line[stop]))) ++stop;
      const auto height = leading_number(line.substr(start, at - start));
      const auto back = leading_number(line.substr(at + word.size(), stop - at - word.size()));
      if (height && back && stop > at + word.size()) examples.emplace_back(*height, *back);
    }
  }
  return examples;
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

void check_table_row(const std::vector<std::string>& cells, const std::string& line) {
  std::vector<float> heights;
  if (const auto range = range_cell(cells[0])) {
    heights = {range->first, range->second};
  } else if (const auto height = leading_number(cells[0])) {
    heights = {*height};
    EXPECT_EQ(pixel_text(*height), cells[1]) << line;
  }
  ASSERT_FALSE(heights.empty()) << line;
  for (const float height : heights) {
    EXPECT_EQ(round_trip(height, 0), leading_number(cells[2])) << line;
    EXPECT_EQ(round_trip(height, 1), leading_number(cells[3])) << line;
  }
}

void check_document(const char* path) {
  SCOPED_TRACE(path);
  std::ifstream in(path);
  ASSERT_TRUE(in) << "cannot read " << path;
  int rows = 0;
  int examples = 0;
  for (std::string line; std::getline(in, line);) {
    for (const auto& [height, back] : examples_in(line)) {
      EXPECT_EQ(round_trip(height, 0), back) << line;
      ++examples;
    }
    if (!line.starts_with("| ")) continue;
    const std::vector<std::string> cells = cells_of(line);
    if (cells.size() < 4 || !pixel_cell(cells[1])) continue;
    ++rows;
    check_table_row(cells, line);
  }
  EXPECT_GE(rows, 5) << "the encoding table was not found";
  EXPECT_GE(examples, 1);
}

TEST(EncodingDocs, TablesAndExamplesMatchTheEncoding) {
  check_document(README_PATH);
  check_document(GUIDE_PATH);
}

}  // namespace
