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
  }
  return "cannot use";
}

// Control bytes are shown as escapes, so that a path cannot move the cursor,
// change colours or break the line; other bytes pass as they are.
std::string printable(std::string_view text) {
  std::string shown;
  for (const char c : text.substr(0, shown_path_bytes)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      shown += "\\n";
    } else if (c == '\r') {
      shown += "\\r";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      shown += escape;
    } else {
      shown += c;
    }
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
  const std::string text = std::string(line) + "\n";
  std::size_t done = 0;
  (void)platform::write_fully(handle, text.data(), text.size(), done);
}

}  // namespace heightio
