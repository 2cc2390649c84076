// The reader of the settings files: whole lines as text, and integers.
//
// Lines end at CR or CR LF; a lone LF is part of the line. A byte 26 ends the
// text where it stands, and nothing behind it is ever read. A UTF-8 byte-order
// mark at the very start of a file (Notepad's "UTF-8 with BOM") is skipped;
// a file saved as UTF-16 is refused when its first line is read. Like every
// operation of the layer, a failure is recorded, not raised.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform.hpp"

namespace heightio {

// What a number line of a settings file looked like, for the warnings that
// point at the line ends.
struct NumberLine {
  std::int64_t value = 0;
  bool missing = false;         // the text ended before any number: it reads as 0
  bool held_line_feed = false;  // the line held a lone LF, which does not end it
};

struct TextReader {
  static constexpr std::size_t buffer_size = 4096;

  std::string path;
  bool is_open = false;
  bool standard_binding = false;
  platform::Handle handle = platform::no_handle;
  std::array<char, buffer_size> buffer{};
  std::size_t position = 0;
  std::size_t end = 0;
  bool physical_end = false;             // the file gave no more bytes, or failed to
  bool number_missing = false;           // the last integer read met the end of the text
  bool skipped_line_feed = false;        // the last skip_line took a lone LF
  bool held_line_feed = false;           // some line read so far held a lone LF
  bool utf16 = false;                    // the file starts with a UTF-16 byte-order mark
  std::vector<NumberLine> number_lines;  // one for each read_int*_setting, in order
};

void open_text_input(TextReader& reader, std::string_view path);
std::string read_line(TextReader& reader);
void skip_line(TextReader& reader);
std::int64_t read_int64(TextReader& reader);
std::int32_t read_int32(TextReader& reader);
void close_text(TextReader& reader);

// One settings line each: the value, then the rest of its line skipped.
std::string read_path_setting(TextReader& reader);
std::int64_t read_int64_setting(TextReader& reader);
std::int32_t read_int32_setting(TextReader& reader);

// The two integer grammars, for a token of 1 to 32 bytes with no blanks.
std::optional<std::int64_t> convert_int64(std::string_view token);
std::optional<std::int32_t> convert_int32(std::string_view token);

}  // namespace heightio
