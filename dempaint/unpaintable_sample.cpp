#include "unpaintable_sample.hpp"

#include <charconv>
#include <string>

namespace dempaint {

heightio::FailureContext unpaintable_sample(std::uint32_t row, std::size_t column, float value) {
  char digits[32];
  // The shortest text that reads back as the same float: GDAL's Float32
  // no-data value shows as -3.4028235e+38, as gdalinfo prints it.
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  return {heightio::Action::convert,
          "raster",
          {},
          0,
          "the sample at row " + std::to_string(row) + ", column " + std::to_string(column) +
              " (from 0) is " + std::string(digits, end) +
              ", which has no whole number to paint: make no-data samples 0 as in \"From an "
              "elevation model\", docs/height-rasters.md"};
}

}  // namespace dempaint
