// The words for a raster sample that dempaint cannot paint: one with no
// whole-number value, most often an elevation model's no-data value that
// was not made empty on the way into the raster.
#pragma once

#include <cstddef>
#include <cstdint>

#include "failure.hpp"

namespace dempaint {

// What the plain-words line of the 207 says: the sample's row and column,
// counted from 0 at the top left, its value, and the step that makes no-data
// samples empty.
heightio::FailureContext unpaintable_sample(std::uint32_t row, std::size_t column, float value);

}  // namespace dempaint
