#include "pixel_survey.hpp"

#include <algorithm>
#include <cstring>

#include "pixel_decoding.hpp"
#include "processor.hpp"
#include "warnings.hpp"

namespace demscan {
namespace {

// The loops below are inlined into a build for SSE2 and one for AVX2.

// A pixel as one little-endian word: blue in the low byte, then green, red
// and alpha. Pure red or green equal to blue is what dempaint paints.
[[gnu::always_inline]] inline bool foreign_pixel(std::uint32_t word) {
  const bool pure_red = ((word >> 16) & 0xFF) == 0xFF;
  const bool green_is_blue = ((word ^ (word >> 8)) & 0xFF) == 0;
  return !pure_red & !green_is_blue;
}

[[gnu::always_inline]] inline std::uint32_t pixel_word(const std::uint8_t* pixels, std::size_t c) {
  std::uint32_t word;
  std::memcpy(&word, pixels + c * pixel_size, sizeof word);
  return word;
}

// Blocks of a fixed length, each first surveyed and then decoded while its
// pixels are in the nearest cache, let the compiler count and decode with
// vector operations: one pass over the row does both.
constexpr std::size_t block = 64;

// How many of `count` pixels are foreign, told without branches.
[[gnu::always_inline]] inline std::uint32_t count_foreign(const std::uint8_t* pixels,
                                                          std::size_t count) {
  std::uint32_t foreign = 0;
  for (std::size_t c = 0; c < count; ++c) foreign += foreign_pixel(pixel_word(pixels, c));
  return foreign;
}

// Decodes `count` pixels where they lie; any sample that is not 0 makes the
// result non-zero.
template <bool green_offset>
[[gnu::always_inline]] inline std::int32_t decode_block(std::uint8_t* pixels, std::size_t count) {
  static_assert(sizeof(float) == pixel_size);
  std::int32_t any = 0;
  for (std::size_t c = 0; c < count; ++c) {
    const std::int32_t number = decoded_number<green_offset>(pixel_word(pixels, c));
    any |= number;
    const auto sample = static_cast<float>(number);
    std::memcpy(pixels + c * pixel_size, &sample, pixel_size);
  }
  return any;
}

// Foreign pixels count in the plain decoding only.
template <bool green_offset>
[[gnu::always_inline]] inline RowSurvey decode_row(std::uint8_t* row, std::size_t width) {
  RowSurvey survey;
  survey.samples = static_cast<std::uint32_t>(width);
  std::int32_t any = 0;
  for (std::size_t c = 0; c < width; c += block) {
    std::uint8_t* pixels = row + c * pixel_size;
    const std::size_t count = std::min(block, width - c);
    if (!green_offset) {
      const std::uint32_t foreign = count_foreign(pixels, count);
      if (foreign != 0 && survey.foreign == 0) {
        survey.first_x = static_cast<std::uint32_t>(c);
        while (!foreign_pixel(pixel_word(row, survey.first_x))) ++survey.first_x;
      }
      survey.foreign += foreign;
    }
    any |= decode_block<green_offset>(pixels, count);
  }
  survey.any_height = any != 0;
  return survey;
}

RowSurvey decode_row_sse2(std::uint8_t* row, std::size_t width, std::uint16_t mode) {
  return mode == 0 ? decode_row<false>(row, width) : decode_row<true>(row, width);
}

[[gnu::target("avx2")]] RowSurvey decode_row_avx2(std::uint8_t* row, std::size_t width,
                                                  std::uint16_t mode) {
  return mode == 0 ? decode_row<false>(row, width) : decode_row<true>(row, width);
}

PixelSurvey run_survey;

std::string run_foreign_pixel_warning() {
  return foreign_pixel_warning(run_survey);
}

std::string run_empty_picture_warning() {
  return empty_picture_warning(run_survey);
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

RowSurvey decode_row_in_place(std::span<std::uint8_t> row, std::uint16_t mode) {
  const std::size_t width = row.size() / pixel_size;
  return heightio::has_avx2() ? decode_row_avx2(row.data(), width, mode)
                              : decode_row_sse2(row.data(), width, mode);
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
