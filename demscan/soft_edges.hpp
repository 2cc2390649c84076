// The soft edge of a red fill: pixels that a paint program blended between a
// height and pure red, by anti-aliasing or feathering.
//
// Such a pixel keeps green equal to blue, so the check of colours dempaint
// never paints does not see it, yet its height is made up: blending toward
// red raises red and shrinks blue and green together, so the height 256 x
// red + blue moves from the terrain's toward 65280, the height of pure red.
// A pixel counts as such an edge when it touches pure red (FF 00 00) on one
// side and, on the other, heights fall away from it to a level well below
// the empty band, and it lies between that level and pure red the way a
// blend does: a fair part of the way to 65280 in height, with blue no more
// than a blend leaves of it. Unedited terrain next to red 255 lies next to
// the band 65280 ... 65535 itself and is left alone.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace demscan {

class SoftEdgeSurvey {
 public:
  // Rows of `width` pixels, `height` of them, the first stored row being the
  // top of the picture when `top_row_first`. The last `rows_in_place` rows
  // added stay where they lie.
  SoftEdgeSurvey(std::uint32_t width, std::uint32_t height, bool top_row_first,
                 std::uint32_t rows_in_place);

  // The next stored row in file order, `width` pixels of 4 bytes (blue,
  // green, red, alpha), left to right. Only the last rows a pixel is compared
  // with are kept.
  void add_row(std::span<const std::uint8_t> pixels);

  std::uint64_t count() const { return count_; }
  std::uint32_t first_x() const { return first_x_; }  // the top-most, then left-most,
  std::uint32_t first_y() const { return first_y_; }  // from the top-left corner

 private:
  void look_at_row(std::uint32_t y);
  void code(std::uint32_t y);
  bool soft_edge_at(std::uint32_t y, std::uint32_t x, int dy, int dx) const;
  const std::uint16_t* row(std::uint32_t y) const;

  std::uint32_t width_;
  std::uint32_t height_;
  bool top_row_first_;
  std::uint32_t rows_added_ = 0;
  bool code_on_demand_;                      // rows are coded only near pure red
  std::vector<std::uint16_t> ring_;          // the kept rows, one code a pixel
  std::int64_t last_pure_ = -1;              // the last row that held pure red
  std::vector<bool> holds_pure_red_;         // per kept row
  std::vector<const std::uint8_t*> pixels_;  // per kept row, where it lies
  std::vector<std::int64_t> coded_;          // per kept row, the row coded there
  std::uint64_t count_ = 0;
  std::uint32_t first_x_ = 0;
  std::uint32_t first_y_ = 0;
};

// The warning for the survey, or an empty text when there is nothing to say.
std::string soft_edge_warning(const SoftEdgeSurvey& survey);

// Feeds the run's survey the stored row number `r` (from 1) in file order,
// `width` pixels of 4 bytes, and gives its warning at the end of the run.
void survey_soft_edges(std::span<const std::uint8_t> pixels, std::uint32_t r, std::uint32_t width,
                       std::uint32_t height, bool top_row_first, std::uint32_t rows_in_place);

}  // namespace demscan
