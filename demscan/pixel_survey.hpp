// Pixels whose heights were likely not meant, counted as the rows are decoded.
//
// dempaint paints the low byte of a height into both blue and green, so in
// the plain decoding every pixel it writes is pure red (empty) or has green
// equal to blue. Any other pixel was blended or painted, by a soft brush or an
// anti-aliased edge, and its height is made up. A picture whose every sample
// comes back empty has most likely lost its colours on the way (flattened
// onto a background, for one).
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace demscan {

// What one row adds to the survey.
struct RowSurvey {
  std::uint32_t samples = 0;
  std::uint32_t foreign = 0;
  std::uint32_t first_x = 0;  // the left-most foreign pixel, when there is one
  bool any_height = false;
};

struct PixelSurvey {
  std::uint64_t samples = 0;  // samples decoded
  bool any_height = false;    // some sample came back non-empty
  std::uint64_t foreign = 0;  // plain decoding: pixels that dempaint never paints
  std::uint32_t first_x = 0;  // the top-most, then left-most of them,
  std::uint32_t first_y = 0;  // counted from the top-left corner of the picture

  // A row surveyed by decode_row_in_place, picture row `y` counted from the top.
  void add(const RowSurvey& row, std::uint32_t y);
};

// Decodes a row of 4-byte pixels where it lies: each pixel becomes its sample,
// as decode_height_pixel gives it in `mode`. Returns what the row adds to the
// survey. Safe on any thread.
RowSurvey decode_row_in_place(std::span<std::uint8_t> row, std::uint16_t mode);

// The warnings, or empty texts when there is nothing to say.
std::string foreign_pixel_warning(const PixelSurvey& survey);
std::string empty_picture_warning(const PixelSurvey& survey);

// Adds a row to the run's survey, whose warnings are given at the end of the
// run.
void survey_decoded_row(const RowSurvey& row, std::uint32_t y);

}  // namespace demscan
