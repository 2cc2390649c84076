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
std::uint64_t count_foreign(std::span<const std::uint8_t> pixels, std::size_t width) {
  constexpr std::size_t block = 64;
  std::uint64_t count = 0;
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

// Decodes `count` pixels in place and returns the OR of their whole numbers,
// which is not 0 when some sample holds a height.
template <bool green_offset>
std::int32_t decode_in_place(std::uint8_t* pixels, std::size_t count) {
  std::int32_t any = 0;
  for (std::size_t c = 0; c < count; ++c) {
    std::uint32_t word;
    std::memcpy(&word, pixels + c * pixel_size, pixel_size);
    const std::int32_t number = decoded_number<green_offset>(word);
    any |= number;
    const auto sample = static_cast<float>(number);
    std::memcpy(pixels + c * pixel_size, &sample, pixel_size);
  }
  return any;
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

// One pass over the row, a block of pixels at a time while the block is in
// the nearest cache: its foreign pixels counted, then the block decoded.
RowSurvey decode_and_survey_row(std::span<std::uint8_t> row, std::uint16_t mode) {
  static_assert(sizeof(float) == pixel_size);
  constexpr std::size_t block = 64;
  RowSurvey survey;
  survey.samples = row.size() / pixel_size;
  std::int32_t any = 0;
  for (std::size_t c = 0; c < survey.samples; c += block) {
    const std::size_t count = std::min<std::size_t>(block, survey.samples - c);
    const std::span<std::uint8_t> pixels = row.subspan(c * pixel_size, count * pixel_size);
    if (mode != 0) {
      any |= decode_in_place<true>(pixels.data(), count);
      continue;
    }
    RowSurvey part;
    survey_pixels(pixels, count, mode, part);
    if (part.foreign != 0 && survey.foreign == 0)
      survey.first_x = static_cast<std::uint32_t>(c) + part.first_x;
    survey.foreign += part.foreign;
    any |= decode_in_place<false>(pixels.data(), count);
  }
  survey.any_height = any != 0;
  return survey;
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
