#include "soft_edges.hpp"

#include <cstring>
#include <memory>

#include "failure.hpp"
#include "pixel_decoding.hpp"
#include "processor.hpp"
#include "warnings.hpp"

namespace demscan {
namespace {

// One code a pixel: its height 256 x red + blue when red is below 255, else
// one of two codes for red 255 (that no height below 65280 takes).
constexpr std::uint16_t pure_red = 0xFF00;   // FF 00 00: the colour a fill paints
constexpr std::uint16_t other_red = 0xFFFF;  // red 255 with some blue or green
constexpr std::int32_t empty_height = 0xFF00;

// How far heights are followed away from the red: a feathered edge blends
// over several pixels, and only where it ends do the heights show the jump.
constexpr std::uint32_t reach = 12;
constexpr std::uint32_t kept_rows = 2 * reach + 1;

// The level the heights fall to must lie this far below pure red, and the
// pixel at least 1/8 of the way from it to pure red: a real slope next to
// the empty band falls to a level near it; a blend leaves the terrain's.
constexpr std::int32_t least_gap = 4096;
constexpr std::int32_t least_share = 8;

// Codes of `count` pixels into `codes`. Every row near pure red goes through
// this loop, so it is written without branches, as masks, and with pointers
// that never overlap, so that the compiler turns it into vector instructions;
// it is inlined into a build for SSE2 and one for AVX2. A pixel is read as one
// little-endian word: blue in the low byte, then green, red and alpha.
[[gnu::always_inline]] inline void code_pixels(const std::uint8_t* __restrict pixels,
                                               std::uint16_t* __restrict codes,
                                               std::uint32_t count) {
  for (std::uint32_t x = 0; x < count; ++x) {
    std::uint32_t word;
    std::memcpy(&word, pixels + std::size_t{x} * pixel_size, sizeof word);
    const std::uint32_t height = (word >> 8 & 0xFF00) | (word & 0xFF);
    const std::uint32_t red = 0u - static_cast<std::uint32_t>((word & 0xFF0000) == 0xFF0000);
    const std::uint32_t pure = 0u - static_cast<std::uint32_t>((word & 0xFFFFFF) == 0xFF0000);
    // Red 255 gives other_red, or pure_red for FF 00 00; any other pixel its height.
    const std::uint32_t code = (height & ~red) | (red & (other_red & ~(pure & 0xFF)));
    codes[x] = static_cast<std::uint16_t>(code);
  }
}

// Whether any of `count` pixels is pure red, told without branches.
[[gnu::always_inline]] inline bool any_pure_red(const std::uint8_t* pixels, std::uint32_t count) {
  std::uint32_t any_pure = 0;
  for (std::uint32_t x = 0; x < count; ++x) {
    std::uint32_t word;
    std::memcpy(&word, pixels + std::size_t{x} * pixel_size, sizeof word);
    any_pure |= static_cast<std::uint32_t>((word & 0xFFFFFF) == 0xFF0000);
  }
  return any_pure != 0;
}

void code_row_sse2(const std::uint8_t* pixels, std::uint16_t* codes, std::uint32_t count) {
  code_pixels(pixels, codes, count);
}

[[gnu::target("avx2")]] void code_row_avx2(const std::uint8_t* pixels, std::uint16_t* codes,
                                           std::uint32_t count) {
  code_pixels(pixels, codes, count);
}

bool holds_pure_red_sse2(const std::uint8_t* pixels, std::uint32_t count) {
  return any_pure_red(pixels, count);
}

[[gnu::target("avx2")]] bool holds_pure_red_avx2(const std::uint8_t* pixels, std::uint32_t count) {
  return any_pure_red(pixels, count);
}

void code_row(const std::uint8_t* pixels, std::uint16_t* codes, std::uint32_t count) {
  if (heightio::has_avx2())
    code_row_avx2(pixels, codes, count);
  else
    code_row_sse2(pixels, codes, count);
}

bool holds_pure_red(const std::uint8_t* pixels, std::uint32_t count) {
  return heightio::has_avx2() ? holds_pure_red_avx2(pixels, count)
                              : holds_pure_red_sse2(pixels, count);
}

}  // namespace

SoftEdgeSurvey::SoftEdgeSurvey(std::uint32_t width, std::uint32_t height, bool top_row_first,
                               std::uint32_t rows_in_place)
    : width_(width),
      height_(height),
      top_row_first_(top_row_first),
      code_on_demand_(rows_in_place >= reach + 2),
      ring_(std::size_t{width} * kept_rows),
      holds_pure_red_(kept_rows),
      pixels_(kept_rows),
      coded_(kept_rows, -1) {}

const std::uint16_t* SoftEdgeSurvey::row(std::uint32_t y) const {
  return ring_.data() + std::size_t{y % kept_rows} * width_;
}

// Only the rows within reach of pure red are ever looked at or walked over:
// rows y - reach - 1 ... y + reach + 1 around a pure red row y. Where the
// rows before stay in place long enough, a row is coded only when pure red
// comes that near, so that a picture without a red fill costs one quick scan
// a row; otherwise every row is coded as it comes.
void SoftEdgeSurvey::add_row(std::span<const std::uint8_t> pixels) {
  const std::uint32_t y = rows_added_++;
  pixels_[y % kept_rows] = pixels.data();
  const bool pure = holds_pure_red(pixels.data(), width_);
  holds_pure_red_[y % kept_rows] = pure;
  if (pure) {
    for (std::uint32_t r = y > reach + 1 ? y - reach - 1 : 0; r < y; ++r) code(r);
    last_pure_ = y;
  }
  if (!code_on_demand_ || (last_pure_ >= 0 && y <= last_pure_ + reach + 1)) code(y);
  // A row is looked at once the rows `reach` below it are kept; the last
  // rows once the last row has come.
  if (y >= reach) look_at_row(y - reach);
  if (rows_added_ == height_) {
    for (std::uint32_t r = y >= reach ? y - reach + 1 : 0; r <= y; ++r) look_at_row(r);
  }
}

void SoftEdgeSurvey::code(std::uint32_t y) {
  std::int64_t& coded = coded_[y % kept_rows];
  if (coded == y) return;
  code_row(pixels_[y % kept_rows], ring_.data() + std::size_t{y % kept_rows} * width_, width_);
  coded = y;
}

// Heights followed from (y, x) away from the pure red at (y + dy, x + dx),
// while they fall or stay level, at most `reach` pixels.
bool SoftEdgeSurvey::soft_edge_at(std::uint32_t y, std::uint32_t x, int dy, int dx) const {
  const std::int64_t ey = std::int64_t{y} + dy, ex = std::int64_t{x} + dx;
  if (ey < 0 || ex < 0 || ey >= rows_added_ || ex >= width_) return false;
  if (row(static_cast<std::uint32_t>(ey))[ex] != pure_red) return false;
  const std::int32_t here = row(y)[x];
  std::int32_t level = here;
  std::uint32_t steps = 0;
  for (std::int64_t ny = y - dy, nx = x - dx; steps < reach; ny -= dy, nx -= dx, ++steps) {
    if (ny < 0 || nx < 0 || ny >= rows_added_ || nx >= width_) break;
    const std::int32_t next = row(static_cast<std::uint32_t>(ny))[nx];
    if (next >= empty_height || next > level) break;
    level = next;
  }
  const std::int32_t gap = empty_height - level;
  const std::int32_t blue = here & 0xFF;
  // A blend a of the way to pure red keeps at most (1 - a) of blue's 255,
  // where 1 - a = (65280 - here) / gap; one more for rounding.
  return steps > 0 && gap >= least_gap && (here - level) * least_share >= gap &&
         std::int64_t{blue} * gap <= std::int64_t{empty_height - here} * 255 + gap;
}

void SoftEdgeSurvey::look_at_row(std::uint32_t y) {
  const auto pure_near = [&](std::int64_t r) {
    return r >= 0 && r < rows_added_ && holds_pure_red_[r % kept_rows];
  };
  if (!pure_near(std::int64_t{y} - 1) && !pure_near(y) && !pure_near(std::int64_t{y} + 1)) return;
  const std::uint16_t* codes = row(y);
  for (std::uint32_t x = 0; x < width_; ++x) {
    if (codes[x] >= empty_height) continue;
    if (!soft_edge_at(y, x, 0, -1) && !soft_edge_at(y, x, 0, 1) && !soft_edge_at(y, x, -1, 0) &&
        !soft_edge_at(y, x, 1, 0))
      continue;
    const std::uint32_t picture_y = top_row_first_ ? y : height_ - 1 - y;
    if (count_ == 0 || picture_y < first_y_ || (picture_y == first_y_ && x < first_x_)) {
      first_y_ = picture_y;
      first_x_ = x;
    }
    ++count_;
  }
}

std::string soft_edge_warning(const SoftEdgeSurvey& survey) {
  if (survey.count() == 0) return {};
  const bool one = survey.count() == 1;
  return std::to_string(survey.count()) + (one ? " pixel" : " pixels") + " beside pure red " +
         (one ? "looks" : "look") +
         " like the soft edge of a red fill, red blended into a height, the first at x " +
         std::to_string(survey.first_x()) + ", y " + std::to_string(survey.first_y()) +
         " from the top-left corner: anti-aliasing or feathering made up " +
         (one ? "its height" : "their heights") + "; switch both off and fill again";
}

namespace {
std::unique_ptr<SoftEdgeSurvey> run_survey;

std::string run_soft_edge_warning() {
  return run_survey ? soft_edge_warning(*run_survey) : std::string();
}
}  // namespace

void survey_soft_edges(std::span<const std::uint8_t> pixels, std::uint32_t r, std::uint32_t width,
                       std::uint32_t height, bool top_row_first, std::uint32_t rows_in_place) {
  if (r == 1) {
    heightio::allocate_or_fail([&] {
      run_survey = std::make_unique<SoftEdgeSurvey>(width, height, top_row_first, rows_in_place);
    });
    heightio::add_warning_source(run_soft_edge_warning);
  }
  run_survey->add_row(pixels);
}

}  // namespace demscan
