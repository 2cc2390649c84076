// Warnings kept during a run, and the words of the raster size check.
#include "warnings.hpp"

#include <gtest/gtest.h>

#include "input_checks.hpp"

namespace {

using namespace heightio;

std::string nothing_to_say() {
  return {};
}

std::string found_late() {
  return "found late";
}

TEST(Warnings, KeptInOrderWithSourcesAskedWhenRead) {
  add_warning("first");
  add_warning_source(found_late);
  add_warning_source(nothing_to_say);
  add_warning("last");
  EXPECT_EQ(warning_texts(), (std::vector<std::string>{"first", "found late", "last"}));
  write_warnings();
  EXPECT_TRUE(warning_texts().empty());
}

TEST(RasterSize, NamesAWidthAndHeightThatUseEverySample) {
  EXPECT_EQ(raster_size_warning("t.raw", 4 * 403 * 344, 403, 344), "");
  // The height kept, the width one off.
  EXPECT_EQ(raster_size_warning("t.raw", 4 * 403 * 344, 402, 344),
            "the raster \"t.raw\" holds 138632 samples, the settings ask for 402 x 344 = 138288; "
            "403 x 344 would use it exactly");
  // The width kept, rows missing or too many.
  EXPECT_EQ(raster_size_warning("t.raw", 4 * 403 * 344, 403, 300),
            "the raster \"t.raw\" holds 138632 samples, the settings ask for 403 x 300 = 120900; "
            "403 x 344 would use it exactly");
  // Neither kept: the nearest width that divides, no further than 8 away.
  EXPECT_EQ(raster_size_warning("t.raw", 4 * 11 * 7, 10, 5),
            "the raster \"t.raw\" holds 77 samples, the settings ask for 10 x 5 = 50; 11 x 7 would "
            "use it exactly");
  EXPECT_EQ(raster_size_warning("t.raw", 4 * 97, 80, 5),
            "the raster \"t.raw\" holds 97 samples, the settings ask for 80 x 5 = 400");
  // The largest sizes demtiler takes do not overflow.
  EXPECT_EQ(raster_size_warning("t.raw", 4, 4294967295u, 4294967295u),
            "the raster \"t.raw\" holds 1 sample, the settings ask for 4294967295 x 4294967295 = "
            "18446744065119617025");
}

}  // namespace
