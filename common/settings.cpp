#include "settings.hpp"

#include <new>
#include <utility>

#include "error_codes.hpp"
#include "failure.hpp"
#include "platform.hpp"

namespace heightio {
namespace {

constexpr int end_of_text = -1;
constexpr char carriage_return = '\r';
constexpr char line_feed = '\n';
constexpr unsigned char end_of_text_byte = 26;
constexpr std::size_t max_token_length = 32;

// Records `code` with what was asked of the settings file: the operating
// system's error number when it refused (`by_os`), else the layer's own words.
void fail(const TextReader& reader, Action action, std::int32_t code, bool by_os,
          std::string detail = {}) {
  const std::string_view subject = reader.standard_binding ? "the standard input" : "settings file";
  record_failure(code, {action, subject, reader.path, by_os ? platform::last_refusal() : 0,
                        std::move(detail)});
}

// The next byte without taking it, or end_of_text at the end of the file, at a
// byte 26, or after a read error (which is recorded).
int peek(TextReader& reader) {
  if (reader.position == reader.end) {
    if (reader.physical_end) return end_of_text;
    std::size_t got = 0;
    const std::int32_t code =
        platform::read_some(reader.handle, reader.buffer.data(), reader.buffer.size(), got);
    reader.position = 0;
    reader.end = got;
    if (code != 0) fail(reader, Action::read, code, true);
    if (code != 0 || got == 0) {
      reader.physical_end = true;
      return end_of_text;
    }
  }
  const auto byte = static_cast<unsigned char>(reader.buffer[reader.position]);
  return byte == end_of_text_byte ? end_of_text : byte;
}

void take(TextReader& reader) {
  ++reader.position;
}

bool readable(const TextReader& reader) {
  if (reader.is_open) return true;
  fail(reader, Action::read, code::not_open_for_input, false);
  return false;
}

bool is_blank(int c) {
  return c >= 0 && c <= ' ';
}

// Skips blanks across line ends, then takes up to 32 bytes up to the next
// blank or end of text. An empty token means the text ended first.
std::string read_token(TextReader& reader) {
  while (is_blank(peek(reader))) take(reader);
  std::string token;
  for (int c = peek(reader); c != end_of_text && !is_blank(c) && token.size() < max_token_length;
       c = peek(reader)) {
    token.push_back(static_cast<char>(c));
    take(reader);
  }
  return token;
}

int digit_value(char c, bool hexadecimal) {
  if (c >= '0' && c <= '9') return c - '0';
  if (!hexadecimal) return -1;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Accumulates the digits of `digits` in the given base, failing on an empty
// string, a byte that is not a digit, or a value above `limit`.
std::optional<std::uint64_t> parse_digits(std::string_view digits, bool hexadecimal,
                                          std::uint64_t limit) {
  if (digits.empty()) return std::nullopt;
  const std::uint64_t base = hexadecimal ? 16 : 10;
  std::uint64_t value = 0;
  for (const char c : digits) {
    const int digit = digit_value(c, hexadecimal);
    if (digit < 0 || value > (limit - static_cast<std::uint64_t>(digit)) / base)
      return std::nullopt;
    value = value * base + static_cast<std::uint64_t>(digit);
  }
  return value;
}

void fail_number(const TextReader& reader, const std::string& token) {
  fail(reader, Action::read_number, code::invalid_number, false,
       "\"" + token + "\" is not a whole number");
}

template <typename Read>
auto read_then_skip_line(TextReader& reader, Read read) {
  auto value = read(reader);
  skip_line(reader);
  return value;
}

// A settings file that is not there was most often looked for in another
// folder than the user thinks.
std::string where_to_look(const std::string& path, std::int32_t code) {
  if (code != code::file_not_found || path.find_first_of("/\\") != std::string::npos) return {};
  const std::string folder = platform::working_folder();
  return (folder.empty() ? std::string() : "looked in " + folder + "; ") + "see --help";
}

// Notepad saves "UTF-8 with BOM" with EF BB BF in front of the text, which no
// path begins with; "Unicode" is UTF-16, whose every other byte is a NUL.
void look_at_byte_order_mark(TextReader& reader) {
  if (peek(reader) == end_of_text) return;
  const std::string_view start(reader.buffer.data() + reader.position,
                               reader.end - reader.position);
  if (start.starts_with("\xEF\xBB\xBF")) reader.position += 3;
  reader.utf16 = start.starts_with("\xFF\xFE") || start.starts_with("\xFE\xFF");
}

template <typename Read>
auto read_number_setting(TextReader& reader, Read read) {
  const auto value = read_then_skip_line(reader, read);
  reader.number_lines.push_back({value, reader.number_missing, reader.skipped_line_feed});
  return value;
}

}  // namespace

void open_text_input(TextReader& reader, std::string_view path) {
  if (reader.is_open) close_text(reader);
  reader.path = std::string(path);
  reader.position = 0;
  reader.end = 0;
  reader.physical_end = false;
  reader.held_line_feed = false;
  reader.utf16 = false;
  reader.standard_binding = path.empty();
  if (reader.standard_binding) {
    reader.handle = platform::standard_handle(platform::Stream::input);
    reader.is_open = true;
    return;
  }
  const std::int32_t code = platform::open_for_reading(reader.path, reader.handle);
  reader.is_open = code == 0;
  if (code != 0) return fail(reader, Action::open, code, true, where_to_look(reader.path, code));
  look_at_byte_order_mark(reader);
}

std::string read_line(TextReader& reader) {
  std::string line;
  if (!readable(reader)) return line;
  // Read as bytes, UTF-16 text gives paths of letters and NULs, which the
  // open of the path would refuse with 31: the same code, in plainer words.
  if (reader.utf16) {
    fail(reader, Action::read, code::general_failure, false,
         "it was saved as UTF-16 (\"Unicode\"): save it as UTF-8 or ANSI");
    return line;
  }
  // A line is as long as the file: one that does not fit in memory is
  // recorded as 203 for the check that follows the read.
  try {
    for (int c = peek(reader); c != end_of_text && c != carriage_return; c = peek(reader)) {
      line.push_back(static_cast<char>(c));
      take(reader);
    }
  } catch (const std::bad_alloc&) {
    std::string().swap(line);
    fail(reader, Action::read, code::out_of_memory, false, "the line does not fit in memory");
  }
  reader.held_line_feed = reader.held_line_feed || line.find(line_feed) != std::string::npos;
  return line;
}

void skip_line(TextReader& reader) {
  reader.skipped_line_feed = false;
  if (!readable(reader)) return;
  for (int c = peek(reader); c != end_of_text; c = peek(reader)) {
    take(reader);
    if (c == line_feed) reader.skipped_line_feed = reader.held_line_feed = true;
    if (c == carriage_return) {
      if (peek(reader) == line_feed) take(reader);
      return;
    }
  }
}

std::int64_t read_int64(TextReader& reader) {
  if (!readable(reader)) return 0;
  const std::string token = read_token(reader);
  reader.number_missing = token.empty();
  if (token.empty()) return 0;
  const std::optional<std::int64_t> value = convert_int64(token);
  if (!value) fail_number(reader, token);
  return value.value_or(0);
}

std::int32_t read_int32(TextReader& reader) {
  if (!readable(reader)) return 0;
  const std::string token = read_token(reader);
  reader.number_missing = token.empty();
  if (token.empty()) return 0;
  const std::optional<std::int32_t> value = convert_int32(token);
  if (!value) fail_number(reader, token);
  return value.value_or(0);
}

void close_text(TextReader& reader) {
  if (!reader.is_open) return fail(reader, Action::close, code::file_not_open, false);
  reader.is_open = false;
  if (reader.standard_binding) return;
  const std::int32_t code = platform::close_handle(reader.handle);
  reader.handle = platform::no_handle;
  if (code != 0) fail(reader, Action::close, code, true);
}

std::string read_path_setting(TextReader& reader) {
  return read_then_skip_line(reader, read_line);
}

std::int64_t read_int64_setting(TextReader& reader) {
  return read_number_setting(reader, read_int64);
}

std::int32_t read_int32_setting(TextReader& reader) {
  return read_number_setting(reader, read_int32);
}

// Sign, then an optional "$" or 0x prefix, then digits. Decimal values must
// fit a signed 64-bit number; hexadecimal ones give 64 two's-complement bits
// that the sign negates (-$10 is -16).
std::optional<std::int64_t> convert_int64(std::string_view token) {
  const bool negative = !token.empty() && token.front() == '-';
  if (!token.empty() && (token.front() == '-' || token.front() == '+')) token.remove_prefix(1);
  bool hexadecimal = false;
  if (token.starts_with('$')) {
    hexadecimal = true;
    token.remove_prefix(1);
  } else if (token.starts_with("0x") || token.starts_with("0X")) {
    hexadecimal = true;
    token.remove_prefix(2);
  }
  constexpr std::uint64_t max_positive = INT64_MAX;
  const std::uint64_t limit = hexadecimal ? UINT64_MAX : negative ? max_positive + 1 : max_positive;
  const std::optional<std::uint64_t> magnitude = parse_digits(token, hexadecimal, limit);
  if (!magnitude) return std::nullopt;
  return static_cast<std::int64_t>(negative ? 0 - *magnitude : *magnitude);
}

// A sign allows decimal digits only; "$", "x", "X" or "0x" at the very start
// introduce hexadecimal digits that give 32 two's-complement bits.
std::optional<std::int32_t> convert_int32(std::string_view token) {
  constexpr std::uint64_t max_positive = INT32_MAX;
  if (token.starts_with('-')) {
    const auto magnitude = parse_digits(token.substr(1), false, max_positive + 1);
    if (!magnitude) return std::nullopt;
    return static_cast<std::int32_t>(0 - static_cast<std::uint32_t>(*magnitude));
  }
  bool hexadecimal = true;
  if (token.starts_with('+')) {
    hexadecimal = false;
    token.remove_prefix(1);
  } else if (token.starts_with('$') || token.starts_with('x') || token.starts_with('X')) {
    token.remove_prefix(1);
  } else if (token.starts_with("0x") || token.starts_with("0X")) {
    token.remove_prefix(2);
  } else {
    hexadecimal = false;
  }
  const auto value = parse_digits(token, hexadecimal, hexadecimal ? UINT32_MAX : max_positive);
  if (!value) return std::nullopt;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(*value));
}

}  // namespace heightio
