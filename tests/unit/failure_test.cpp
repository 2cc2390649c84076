#include "failure.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "error_codes.hpp"
#include "test_support.hpp"

namespace {

using namespace heightio;

TEST(RunErrorMessage, CodeRightJustifiedAndEightHexDigits) {
  EXPECT_EQ(format_run_error(2, 0x1A2B), "Runtime error   2 at 00001A2B");
  EXPECT_EQ(format_run_error(32, 0x1A2B), "Runtime error  32 at 00001A2B");
  EXPECT_EQ(format_run_error(100, 0x1A2B), "Runtime error 100 at 00001A2B");
  EXPECT_EQ(format_run_error(207, 0xDEADBEEF), "Runtime error 207 at DEADBEEF");
}

IoError raised_by_check() {
  try {
    check_io();
  } catch (const IoError& error) {
    return error;
  }
  return {0, 0};
}

TEST(CheckIo, RaisesThePendingCodeOnceWithTheLastFailureWinning) {
  record_failure(code::short_read);
  record_failure(code::disk_full);
  EXPECT_EQ(raised_by_check().code, code::disk_full);
  EXPECT_NO_THROW(check_io());
}

TEST(CheckIo, EachCallSiteHasItsOwnLocation) {
  IoError first{}, second{};
  record_failure(code::file_not_found);
  try {
    check_io();
  } catch (const IoError& error) {
    first = error;
  }
  record_failure(code::file_not_found);
  try {
    check_io();
  } catch (const IoError& error) {
    second = error;
  }
  EXPECT_NE(first.location, second.location);
  EXPECT_NE(first.location, 0u);
}

TEST(TruncateToInt64, DropsTheFractionTowardZero) {
  EXPECT_EQ(truncate_to_int64(2.9), 2);
  EXPECT_EQ(truncate_to_int64(-2.9), -2);
  EXPECT_EQ(truncate_to_int64(-0.5), 0);
  EXPECT_EQ(truncate_to_int64(-0.0), 0);
  EXPECT_EQ(truncate_to_int64(65535.99f), 65535);
  EXPECT_EQ(truncate_to_int64(-0x1p63), INT64_MIN);
}

TEST(TruncateToInt64, ValuesWithoutAn64BitIntegerRaise207) {
  for (const double x :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(), 0x1p63, -0x1p64}) {
    try {
      (void)truncate_to_int64(x);
      ADD_FAILURE() << x;
    } catch (const IoError& error) {
      EXPECT_EQ(error.code, code::invalid_float_operation);
    }
  }
}

}  // namespace
