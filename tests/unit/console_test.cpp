#include "console.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "test_support.hpp"

namespace {

using namespace heightio;
using heightio_test::take_pending;

// Runs console writes into a file, which the console sees as redirected
// output, and returns the file's bytes as they are.
template <typename Writes>
std::string console_bytes(Writes writes) {
  const std::string path = heightio_test::temp_file("console.txt", "");
  console_state() = Console{};
  Console& console = console_state();
  if (platform::create_for_writing(path, console.handle) != 0) return "cannot create " + path;
  console.is_open = true;
  writes();
  flush_console();
  (void)platform::close_handle(console.handle);
  console_state() = Console{};
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string int_text(std::int64_t value, int width) {
  return console_bytes([&] { write_int(value, width); });
}

TEST(WriteInt, PadsToTheWidthAndNeverCuts) {
  EXPECT_EQ(int_text(5, 6), "     5");
  EXPECT_EQ(int_text(-12, 6), "   -12");
  EXPECT_EQ(int_text(1234567, 6), "1234567");
  EXPECT_EQ(int_text(0, 0), "0");
  EXPECT_EQ(int_text(7, 100), std::string(99, ' ') + "7");
  EXPECT_EQ(int_text(INT64_MIN, 0), "-9223372036854775808");
  EXPECT_EQ(int_text(4294967295, 0), "4294967295");
  EXPECT_EQ(take_pending(), 0);
}

TEST(ConsoleText, LineEndIsCrLfAndTextPassesUnchanged) {
  EXPECT_EQ(console_bytes([] {
              write_text("x-");
              write_int(3, 0);
              write_line_end();
              write_char('*');
              write_char('\r');
              end_write();
            }),
            "x-3\r\n*\r");
}

TEST(ConsoleText, RedirectedOutputSurvivesManyBufferFills) {
  std::string expected;
  for (int i = 0; i < 1000; ++i) expected += std::to_string(i) + "\r\n";
  EXPECT_EQ(console_bytes([] {
              for (int i = 0; i < 1000; ++i) {
                write_int(i, 0);
                write_line_end();
              }
            }),
            expected);
  EXPECT_EQ(take_pending(), 0);
}

TEST(ConsoleText, FlushOfAnUnopenedConsoleFailsWith103) {
  console_state() = Console{};
  end_write();
  EXPECT_EQ(take_pending(), 103);
}

}  // namespace
