#include "pixel_survey.hpp"

#include <algorithm>
#include <cstring>

#include "pixel_decoding.hpp"
#include "warnings.hpp"

namespace demscan {
namespace {

// A pixel as one little-endian word: blue in the low byte, then green, red
// and alpha. Pure red or green equal to blue is what dempaint paints.
bool foreign_pixel(std::uint32_t word) {
  const bool pure_red = ((word >> 16) & 0xFF) == 0xFF;
  const bool green_is_blue = ((word ^ (word >> 8)) & 0xFF) == 0;
  return !pure_red & !green_is_blue;
}

std::uint32_t pixel_word(std::span<const std::uint8_t> pixels, std::size_t c) {
  std::uint32_t word;
  std::memcpy(&word, pixels.data() + c * pixel_size, sizeof word);
  return word;
}

// The usual row has no foreign pixel: one branch-free pass tells. Blocks of a
// fixed length let the compiler count with vector operations.
std::uint32_t count_foreign(std::span<const std::uint8_t> pixels, std::size_t width) {
  constexpr std::size_t block = 64;
  std::uint32_t count = 0;
  std::size_t c = 0;
  for (; c + block <= width; c += block) {
    std::uint32_t in_block = 0;
    for (std::size_t i = 0; i < block; ++i) in_block += foreign_pixel(pixel_word(pixels, c + i));
    count += in_block;
  }
  for (; c < width; ++c) count += foreign_pixel(pixel_word(pixels, c));
  return count;
}

PixelSurvey run_survey;

std::string run_foreign_pixel_warning() {
  return foreign_pixel_warning(run_survey);
}

std::string run_empty_picture_warning() {
  return empty_picture_warning(run_survey);
}

// The foreign pixels of a row, in the plain decoding only.
void survey_pixels(std::span<const std::uint8_t> pixels, std::size_t width, std::uint16_t mode,
                   RowSurvey& row) {
  if (mode != 0) return;
  row.foreign = count_foreign(pixels, width);
  if (row.foreign == 0) return;
  for (row.first_x = 0; !foreign_pixel(pixel_word(pixels, row.first_x)); ++row.first_x) {
  }
}

// Whether some pixel decodes to a height. The usual row says so in its first
// block; each block is one branch-free pass.
template <bool green_offset>
bool holds_height(std::span<const std::uint8_t> pixels, std::size_t width) {
  constexpr std::size_t block = 64;
  for (std::size_t c = 0; c < width; c += block) {
    const std::size_t count = std::min(block, width - c);
    std::int32_t any = 0;
    for (std::size_t i = 0; i < count; ++i)
      any |= decoded_number<green_offset>(pixel_word(pixels, c + i));
    if (any != 0) return true;
  }
  return false;
}

}  // namespace

void PixelSurvey::add(const RowSurvey& row, std::uint32_t y) {
  samples += row.samples;
  any_height = any_height || row.any_height;
  if (row.foreign == 0) return;
  if (foreign == 0 || y < first_y) {
    first_y = y;
    first_x = row.first_x;
  }
  foreign += row.foreign;
}

RowSurvey survey_row(std::span<const std::uint8_t> pixels, std::uint16_t mode) {
  RowSurvey row;
  row.samples = static_cast<std::uint32_t>(pixels.size() / pixel_size);
  row.any_height = mode == 0 ? holds_height<false>(pixels, row.samples)
                             : holds_height<true>(pixels, row.samples);
  survey_pixels(pixels, row.samples, mode, row);
  return row;
}

std::string foreign_pixel_warning(const PixelSurvey& survey) {
  if (survey.foreign == 0) return {};
  return std::to_string(survey.foreign) +
         (survey.foreign == 1 ? " pixel holds a colour" : " pixels hold colours") +
         " that dempaint never paints (red below 255 and green unlike blue), the first at x " +
         std::to_string(survey.first_x) + ", y " + std::to_string(survey.first_y) +
         " from the top-left corner: blending or painting made up " +
         (survey.foreign == 1 ? "its height" : "their heights") +
         "; retouch with hard edges only, and pure red for empty";
}

std::string empty_picture_warning(const PixelSurvey& survey) {
  if (survey.samples == 0 || survey.any_height) return {};
  return "all " + std::to_string(survey.samples) +
         " samples came back empty: a picture flattened onto a background while its pixels were "
         "transparent takes the background's colour, and white, like any colour of red 255, "
         "reads as empty";
}

void survey_decoded_row(const RowSurvey& row, std::uint32_t y) {
  static const bool registered = (heightio::add_warning_source(run_foreign_pixel_warning),
                                  heightio::add_warning_source(run_empty_picture_warning), true);
  (void)registered;
  run_survey.add(row, y);
}

}  // namespace demscan
