// The console: the program's one output text stream, with a 128-byte buffer.
//
// A print step is some write_text / write_int / write_char calls closed by
// end_write or write_line_end. On an interactive terminal every step shows at
// its end; redirected output leaves in 128-byte pieces and at the end of the
// program, so a file receives exactly the bytes a terminal would.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform.hpp"

namespace heightio {

struct Console {
  static constexpr std::size_t buffer_size = 128;

  bool is_open = false;
  bool interactive = false;
  platform::Stream stream = platform::Stream::output;
  platform::Handle handle = platform::no_handle;
  std::array<char, buffer_size> buffer{};
  std::size_t fill = 0;
};

// The program's console; tests may reset it to a fresh Console.
Console& console_state();

// Sends console text to the standard error stream, for a program whose data
// go to the standard output. Takes effect before the first console write.
void console_to_standard_error();

void write_text(std::string_view text);
void write_int(std::int64_t value, int width);
void write_char(char c);
void end_write();
void write_line_end();

// Whether `bytes` more bytes of text would stay in the buffer, handing
// nothing to the system: never on an interactive terminal or an unopened
// console.
bool console_keeps(std::size_t bytes);

// Hands the rest of the buffer over at the end of the program; a failure here
// is not reported.
void flush_console();

}  // namespace heightio
