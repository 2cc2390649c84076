#include "height_survey.hpp"

#include <algorithm>
#include <charconv>

#include "pixel_encoding.hpp"
#include "warnings.hpp"

namespace dempaint {
namespace {

// A height's whole number, truncated toward zero, lies in 0 ... 65279
// exactly when the height lies above -1 and below 65280.
constexpr float below_range = -1.0f;
constexpr float above_range = 65280.0f;

// From here up the high byte is 255, which demscan reads as empty.
constexpr std::uint16_t first_empty = 0xFF00;

bool outside_range(float h) {
  return (h <= below_range) | (h >= above_range);
}

// The shortest text that reads back as the same float.
std::string float_text(float h) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, h);
  return std::string(text, result.ptr);
}

std::string comes_back_text(float h) {
  const std::int64_t back = round_trip_height(h);
  return std::to_string(back) + (back == 0 ? " (empty)" : "");
}

// The usual row has no sample outside: one branch-free pass tells. Blocks of
// a fixed length let the compiler count with vector compares.
std::size_t count_outside(std::span<const float> samples) {
  constexpr std::size_t block = 16;
  std::size_t count = 0;
  std::size_t c = 0;
  for (; c + block <= samples.size(); c += block) {
    std::uint32_t in_block = 0;
    for (std::size_t i = 0; i < block; ++i) in_block += outside_range(samples[c + i]);
    count += in_block;
  }
  for (; c < samples.size(); ++c) count += outside_range(samples[c]);
  return count;
}

HeightSurvey run_survey;

std::string run_survey_warning() {
  return height_warning(run_survey);
}

}  // namespace

// A NaN, which fails every comparison, does not pass for a height that
// comes back. Above -1 means from the float next to -1 up.
bool all_come_back(std::span<const float> samples) {
  constexpr float first_above_range = -0x1.fffffep-1f;
  return all_in_range(samples, first_above_range, above_range);
}

void HeightSurvey::add_row(std::span<const float> samples) {
  if (count_outside(samples) == 0) return;
  for (const float h : samples) {
    if (!outside_range(h)) continue;
    lowest = outside == 0 ? h : std::min(lowest, h);
    highest = outside == 0 ? h : std::max(highest, h);
    ++outside;
  }
}

std::int64_t round_trip_height(float h) {
  const auto low_bits = static_cast<std::uint16_t>(static_cast<std::int64_t>(h));
  return low_bits >= first_empty ? 0 : low_bits;
}

std::string height_warning(const HeightSurvey& survey) {
  if (survey.outside == 0) return {};
  std::string text = std::to_string(survey.outside) +
                     (survey.outside == 1 ? " sample lies" : " samples lie") +
                     " outside 0 ... 65279, the heights that come back from demscan in mode 0: ";
  if (survey.lowest == survey.highest)
    return text + float_text(survey.lowest) + " comes back as " + comes_back_text(survey.lowest);
  return text + "the lowest, " + float_text(survey.lowest) + ", comes back as " +
         comes_back_text(survey.lowest) + ", the highest, " + float_text(survey.highest) + ", as " +
         comes_back_text(survey.highest);
}

void survey_heights(std::span<const float> samples) {
  static const bool registered = (heightio::add_warning_source(run_survey_warning), true);
  (void)registered;
  run_survey.add_row(samples);
}

}  // namespace dempaint
