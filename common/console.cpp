#include "console.hpp"

#include <algorithm>
#include <string>

#include "error_codes.hpp"
#include "failure.hpp"

namespace heightio {
namespace {

// Records a failed console write with the stream it went to: the operating
// system's error number when it refused (`by_os`), else the layer's own words.
void fail(const Console& console, std::int32_t code, bool by_os) {
  const std::string_view stream =
      console.stream == platform::Stream::error ? "the standard error" : "the standard output";
  record_failure(code, {Action::write, stream, {}, by_os ? platform::last_refusal() : 0, {}});
}

// The first write opens the console: a standard stream that is closed, or
// whose kind cannot be told, leaves it unopened and fails the write with 105.
bool open_console(Console& console) {
  if (console.is_open) return true;
  const platform::Handle handle = platform::standard_handle(console.stream);
  if (platform::query_terminal(handle, console.interactive) != 0) {
    fail(console, code::not_open_for_output, false);
    return false;
  }
  console.handle = handle;
  console.is_open = true;
  return true;
}

// The buffer is emptied even when the operating system refuses its bytes.
// A failure is recorded unless `quietly`.
void hand_over(Console& console, bool quietly = false) {
  std::size_t done = 0;
  const std::int32_t code =
      platform::write_fully(console.handle, console.buffer.data(), console.fill, done);
  const bool short_write = code == 0 && done < console.fill;
  console.fill = 0;
  if (quietly) return;
  if (code != 0) fail(console, code, true);
  if (short_write) fail(console, code::short_write, false);
}

void put_bytes(Console& console, std::string_view bytes) {
  for (const char c : bytes) {
    if (console.fill == Console::buffer_size) hand_over(console);
    console.buffer[console.fill++] = c;
  }
}

void write_console(std::string_view bytes) {
  Console& console = console_state();
  if (open_console(console)) put_bytes(console, bytes);
}

std::string decimal_digits(std::int64_t value) {
  // The magnitude is taken unsigned, so the most negative value prints whole.
  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : value;
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits.insert(digits.begin(), '-');
  return digits;
}

}  // namespace

Console& console_state() {
  static Console console;
  return console;
}

void console_to_standard_error() {
  console_state().stream = platform::Stream::error;
}

void write_text(std::string_view text) {
  write_console(text);
}

void write_char(char c) {
  write_console(std::string_view(&c, 1));
}

void write_int(std::int64_t value, int width) {
  const std::string digits = decimal_digits(value);
  static constexpr std::string_view blanks =
      "                                                                ";
  std::size_t padding = width > 0 ? std::max<std::size_t>(width, digits.size()) - digits.size() : 0;
  // Blanks go out in pieces of at most 64; a failure stops the padding early.
  while (padding > 0) {
    const std::size_t piece = std::min(padding, blanks.size());
    write_text(blanks.substr(0, piece));
    padding -= piece;
    if (padding > 0 && pending_io_result() != 0) break;
  }
  write_text(digits);
}

void end_write() {
  Console& console = console_state();
  if (!console.is_open) return fail(console, code::file_not_open, false);
  if (console.interactive) hand_over(console);
}

void write_line_end() {
  write_text("\r\n");
  end_write();
}

bool console_keeps(std::size_t bytes) {
  const Console& console = console_state();
  return console.is_open && !console.interactive && console.fill + bytes <= Console::buffer_size;
}

void flush_console() {
  Console& console = console_state();
  if (console.is_open && console.fill > 0) hand_over(console, true);
}

}  // namespace heightio
