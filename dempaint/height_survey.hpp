// Heights that will not come back: dempaint keeps only the low 16 bits of a
// height's whole number, and demscan reads a red byte of 255 as empty, so a
// round trip in the plain decoding gives back the heights 0 ... 65279 alone.
// The survey counts the others as the rows pass, for a warning at the end.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace dempaint {

struct HeightSurvey {
  std::uint64_t outside = 0;  // samples whose whole number is not in 0 ... 65279
  float lowest = 0;           // the lowest and highest of them, once there is one
  float highest = 0;

  void add_row(std::span<const float> samples);
};

// What a sample with a 64-bit whole number comes back as from demscan in the
// plain decoding: the low 16 bits, or 0 (empty) where they make red 255.
std::int64_t round_trip_height(float h);

// The warning for the samples outside, or an empty text when there are none.
std::string height_warning(const HeightSurvey& survey);

// Whether every sample of the row comes back (the usual row), told in one
// branch-free pass. Such a row has nothing for the survey, and every sample
// has a whole number.
bool all_come_back(std::span<const float> samples);

// Adds a row to the run's survey, whose warning is given at the end of the run.
void survey_heights(std::span<const float> samples);

}  // namespace dempaint
