#include "command_line.hpp"

#include <string>

#include "error_codes.hpp"
#include "platform.hpp"

#ifndef DEMTOOLS_VERSION
#error "the build defines DEMTOOLS_VERSION from the project version"
#endif

namespace heightio {
namespace {

// Where the user guide lies: in the sources, and once installed.
constexpr std::string_view read_more =
    "\n"
    "More in the user guide: docs/user-guide.md in the sources, installed as\n"
    "share/doc/demtools/user-guide.md.\n";

[[noreturn]] void answer(const std::string& text) {
  platform::prepare_process();
  std::size_t done = 0;
  std::int32_t code = platform::write_fully(platform::standard_handle(platform::Stream::output),
                                            text.data(), text.size(), done);
  if (code == 0 && done < text.size()) code = code::short_write;
  platform::exit_process(code);
}

}  // namespace

std::string version_line(std::string_view program_name) {
  return std::string(program_name) + " (demtools) " + DEMTOOLS_VERSION;
}

void answer_help_or_version(int argc, char* argv[], const ProgramInfo& program) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h")
      answer(std::string(program.usage) + std::string(read_more));
    if (argument == "--version") answer(version_line(program.name) + "\n");
  }
}

}  // namespace heightio
