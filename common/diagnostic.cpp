#include "diagnostic.hpp"

#include <cstdio>
#include <cstdlib>

#include "error_codes.hpp"
#include "platform.hpp"

namespace heightio {
namespace {

std::string program_name = "demtools";

// A path line of a settings file can be as long as the file; the line a
// person reads shows the start of it.
constexpr std::size_t shown_path_bytes = 200;

std::string_view action_words(Action action) {
  switch (action) {
    case Action::open:
      return "cannot open";
    case Action::create:
      return "cannot create";
    case Action::read:
      return "cannot read";
    case Action::read_number:
      return "cannot read a number from";
    case Action::write:
      return "cannot write";
    case Action::seek:
      return "cannot seek in";
    case Action::close:
      return "cannot close";
    case Action::convert:
      return "cannot convert";
  }
  return "cannot use";
}

// Length of the well-formed UTF-8 sequence of two to four bytes at the start
// of `text`, or 0 when there is none.
std::size_t utf8_sequence_length(std::string_view text) {
  const auto byte = [&](std::size_t i) {
    return i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
  };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range: no overlong forms,
  if (lead >= 0xC2 && lead <= 0xDF) {     // surrogates or values past U+10FFFF
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : low;
    high = lead == 0xED ? 0x9F : high;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : low;
    high = lead == 0xF4 ? 0x8F : high;
  } else {
    return 0;
  }
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

void append_escape(std::string& shown, unsigned char byte) {
  char escape[5];
  std::snprintf(escape, sizeof escape, "\\x%02X", byte);
  shown += escape;
}

// Control bytes are shown as escapes, so that a path cannot move the cursor,
// change colours or break the line: the C0 controls, DEL, and the C1 controls
// 0x80 ... 0x9F, which a terminal may act on as a lone byte or as the UTF-8 of
// U+0080 ... U+009F. The letters of UTF-8 text pass as they are, although their
// later bytes may lie in 0x80 ... 0x9F.
std::string printable(std::string_view text) {
  const std::string_view cut = text.substr(0, shown_path_bytes);
  std::string shown;
  for (std::size_t i = 0; i < cut.size();) {
    const char c = cut[i];
    const auto byte = static_cast<unsigned char>(c);
    const std::size_t sequence = byte >= 0x80 ? utf8_sequence_length(cut.substr(i)) : 0;
    const bool c1_control =
        sequence == 2 && byte == 0xC2 && static_cast<unsigned char>(cut[i + 1]) <= 0x9F;
    if (sequence > 0 && !c1_control) {
      shown += cut.substr(i, sequence);
      i += sequence;
      continue;
    }
    if (c == '\n') {
      shown += "\\n";
    } else if (c == '\r') {
      shown += "\\r";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (byte < 0x20 || (byte >= 0x7F && byte <= 0x9F) || c1_control) {
      append_escape(shown, byte);
    } else {
      shown += c;
    }
    ++i;
  }
  if (text.size() > shown_path_bytes) shown += "...";
  return shown;
}

std::string describe_context(std::int32_t code, const FailureContext& context) {
  std::string line = std::string(action_words(context.action)) + " " + std::string(context.subject);
  if (!context.path.empty()) line += " \"" + printable(context.path) + "\"";
  line += ": ";
  if (context.os_error != 0) {
    line += platform::os_error_text(context.os_error);
    if (!context.detail.empty()) line += " (" + printable(context.detail) + ")";
  } else if (!context.detail.empty()) {
    line += printable(context.detail);
  } else {
    line += describe_code(code);
  }
  // A settings file written with bare LF line ends is one single line, so the
  // next line's text ends up inside the path.
  if (context.path.find('\n') != std::string::npos)
    line += " (the path holds line feeds: settings lines must end with CR or CR LF)";
  return line;
}

}  // namespace

void set_program_name(std::string_view name) {
  program_name = std::string(name);
}

std::string explain_failure(std::int32_t code, const FailureContext* context) {
  if (context != nullptr) return program_name + ": " + describe_context(code, *context);
  return program_name + ": " + std::string(describe_code(code)) + " (error " +
         std::to_string(code) + ")";
}

std::string explain_warning(std::string_view text) {
  return program_name + ": warning: " + std::string(text);
}

std::string shown_safely(std::string_view text) {
  return printable(text);
}

bool diagnostics_wanted() {
  const char* asked = std::getenv(diagnostics_variable);
  if (asked != nullptr && std::string_view(asked) == "1") return true;
  bool interactive = false;
  return platform::query_terminal(platform::standard_handle(platform::Stream::error),
                                  interactive) == 0 &&
         interactive;
}

void show_diagnostic(std::string_view line) {
  if (!diagnostics_wanted()) return;
  const platform::Handle handle = platform::standard_handle(platform::Stream::error);
  platform::write_terminal_text(handle, std::string(line) + "\n");
}

}  // namespace heightio
