#include "settings.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

#include "error_codes.hpp"
#include "test_support.hpp"

namespace {

using namespace heightio;
using heightio_test::take_pending;
using heightio_test::temp_file;

TEST(IntegerGrammars, Int64AcceptsSignsPrefixesAndTheFullRange) {
  EXPECT_EQ(convert_int64("-$10"), -16);
  EXPECT_EQ(convert_int64("0x1F"), 31);
  EXPECT_EQ(convert_int64("+0X1f"), 31);
  EXPECT_EQ(convert_int64("$FFFFFFFFFFFFFFFF"), -1);
  EXPECT_EQ(convert_int64("$00000000000000000001"), 1);  // leading zeros are not significant
  EXPECT_EQ(convert_int64("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(convert_int64("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(convert_int64("+5"), 5);
  EXPECT_EQ(convert_int64("007"), 7);
  EXPECT_EQ(convert_int64("-0"), 0);
}

TEST(IntegerGrammars, Int64RejectsMalformedAndOutOfRangeTokens) {
  for (const char* token : {"9223372036854775808", "-9223372036854775809", "$10000000000000000",
                            "x10", "$", "0x", "-", "+", "12.5", "12,5", "1200px", "--1", "0x-1"}) {
    EXPECT_EQ(convert_int64(token), std::nullopt) << token;
  }
}

TEST(IntegerGrammars, Int32AcceptsItsOwnPrefixesAndTheFullRange) {
  EXPECT_EQ(convert_int32("x1F"), 31);
  EXPECT_EQ(convert_int32("X1f"), 31);
  EXPECT_EQ(convert_int32("$FFFFFFFF"), -1);
  EXPECT_EQ(convert_int32("$80000000"), INT32_MIN);
  EXPECT_EQ(convert_int32("0x10"), 16);
  EXPECT_EQ(convert_int32("-2147483648"), INT32_MIN);
  EXPECT_EQ(convert_int32("2147483647"), INT32_MAX);
  EXPECT_EQ(convert_int32("+5"), 5);
  EXPECT_EQ(convert_int32("007"), 7);
  EXPECT_EQ(convert_int32("-0"), 0);
  EXPECT_EQ(convert_int32("0"), 0);
}

TEST(IntegerGrammars, Int32RejectsSignedHexAndOutOfRangeTokens) {
  for (const char* token : {"2147483648", "-2147483649", "-$10", "+$10", "-0x10", "$100000000",
                            "0x", "x", "-", "+", "12.5", "1200px", "0b1", "1F"}) {
    EXPECT_EQ(convert_int32(token), std::nullopt) << token;
  }
}

// Opens a settings file with the given bytes.
TextReader open_settings(std::string_view bytes) {
  TextReader reader;
  open_text_input(reader, temp_file("settings.ini", bytes));
  EXPECT_EQ(take_pending(), 0);
  return reader;
}

// Reads two paths and two numbers as demtiler does.
std::tuple<std::string, std::string, std::int64_t, std::int64_t> read_four_from(
    TextReader& reader) {
  std::string first = read_path_setting(reader);
  std::string second = read_path_setting(reader);
  const std::int64_t w = read_int64_setting(reader);
  const std::int64_t h = read_int64_setting(reader);
  close_text(reader);
  return {first, second, w, h};
}

std::tuple<std::string, std::string, std::int64_t, std::int64_t> read_four(std::string_view bytes) {
  TextReader reader = open_settings(bytes);
  return read_four_from(reader);
}

TEST(SettingsLines, CrLfAndBareCrReadTheSame) {
  const auto expected = std::make_tuple(std::string("a.raw"), std::string("b.gnd"),
                                        std::int64_t{220}, std::int64_t{148});
  EXPECT_EQ(read_four("a.raw\r\nb.gnd\r\n220\r\n148\r\n"), expected);
  EXPECT_EQ(read_four("a.raw\rb.gnd\r220\r148"), expected);
  EXPECT_EQ(take_pending(), 0);
}

TEST(SettingsLines, LfOnlyFileIsOneSingleLine) {
  EXPECT_EQ(read_four("a.raw\nb.gnd\n220\n148\n"),
            std::make_tuple(std::string("a.raw\nb.gnd\n220\n148\n"), std::string(), 0, 0));
  EXPECT_EQ(take_pending(), 0);
}

TEST(SettingsLines, EmptyFileGivesEmptyPathsAndZeros) {
  EXPECT_EQ(read_four(""), std::make_tuple(std::string(), std::string(), 0, 0));
  EXPECT_EQ(take_pending(), 0);
}

TEST(SettingsLines, Byte26EndsTheText) {
  EXPECT_EQ(read_four(std::string("a\x1A"
                                  "b.raw\r\nc\r\n5\r\n6\r\n")),
            std::make_tuple(std::string("a"), std::string(), 0, 0));
  EXPECT_EQ(take_pending(), 0);
}

TEST(SettingsLines, PathsKeepTheirBlanksAndNumbersSkipThem) {
  EXPECT_EQ(read_four(" a b \r\n\tc\t\r\n \t 12 5\r\n\r\n\r\n  +7 rows\r\n"),
            std::make_tuple(std::string(" a b "), std::string("\tc\t"), 12, 7));
  EXPECT_EQ(take_pending(), 0);
}

TEST(SettingsLines, BlankLineBetweenPathsShiftsThePathOntoTheNumber) {
  read_four("a.raw\r\n\r\nb.gnd\r\n220\r\n");
  EXPECT_EQ(take_pending(), code::invalid_number);
}

TEST(SettingsLines, NumberWithoutLineEndAtTheEndOfTheFile) {
  EXPECT_EQ(std::get<3>(read_four("a\r\nb\r\n1\r\n-$10")), -16);
  EXPECT_EQ(take_pending(), 0);
}

TEST(SettingsLines, TokenStopsAfter32Bytes) {
  TextReader reader = open_settings(std::string(32, '0') + "7 \r\n42\r\n");
  EXPECT_EQ(read_int32_setting(reader), 0);
  EXPECT_EQ(read_int32_setting(reader), 42);
  EXPECT_EQ(take_pending(), 0);
}

TEST(SettingsLines, CrCrLfIsTwoLineEndsAndLfCrKeepsTheLf) {
  TextReader reader = open_settings("a\r\r\nb\n\rc");
  EXPECT_EQ(read_path_setting(reader), "a");
  EXPECT_EQ(read_path_setting(reader), "");
  EXPECT_EQ(read_path_setting(reader), "b\n");
  EXPECT_EQ(read_path_setting(reader), "c");
  EXPECT_EQ(take_pending(), 0);
}

TEST(SettingsLines, LongPathLineIsReadWhole) {
  const std::string long_path(100 * 1024, 'p');
  TextReader reader = open_settings(long_path + "\r\n");
  EXPECT_EQ(read_path_setting(reader), long_path);
}

TEST(SettingsLines, NumberLinesTellWhetherTheyWereMissingOrHeldALoneLf) {
  TextReader reader = open_settings("a\r\nb\r\n403\n344\n");
  (void)read_four_from(reader);
  ASSERT_EQ(reader.number_lines.size(), 2u);
  EXPECT_EQ(reader.number_lines[0].value, 403);
  EXPECT_TRUE(reader.number_lines[0].held_line_feed);
  EXPECT_FALSE(reader.number_lines[0].missing);
  EXPECT_TRUE(reader.number_lines[1].missing);

  // An LF on a line before the number shifts nothing, so it is not told.
  reader = open_settings("a\r\nb\r\n\n7\r\n8");
  (void)read_four_from(reader);
  ASSERT_EQ(reader.number_lines.size(), 2u);
  for (const NumberLine& line : reader.number_lines) {
    EXPECT_FALSE(line.held_line_feed);
    EXPECT_FALSE(line.missing);
  }
  EXPECT_EQ(reader.number_lines[1].value, 8);
}

TEST(SettingsFailures, ReaderNotOpenAndMissingFiles) {
  TextReader reader;
  EXPECT_EQ(read_line(reader), "");
  EXPECT_EQ(take_pending(), code::not_open_for_input);
  skip_line(reader);
  EXPECT_EQ(take_pending(), code::not_open_for_input);
  EXPECT_EQ(read_int32(reader), 0);
  EXPECT_EQ(take_pending(), code::not_open_for_input);
  close_text(reader);
  EXPECT_EQ(take_pending(), code::file_not_open);

  open_text_input(reader, temp_file("present.ini", "") + ".missing");
  EXPECT_EQ(take_pending(), code::file_not_found);
  EXPECT_FALSE(reader.is_open);
  open_text_input(reader, temp_file("present.ini", "") + ".d/missing.ini");
  EXPECT_EQ(take_pending(), code::path_not_found);
}

}  // namespace
