#include "command_line.hpp"

#include <string>

#include "diagnostic.hpp"
#include "error_codes.hpp"
#include "platform.hpp"
#include "warnings.hpp"

#ifndef DEMTOOLS_VERSION
#error "the build defines DEMTOOLS_VERSION from the project version"
#endif

namespace heightio {
namespace {

// When the plain words are shown, and where the user guide lies: in the
// sources, and once installed.
constexpr std::string_view read_more =
    "\n"
    "A failure, and what looks like a mistake (settings that do not fit the data,\n"
    "heights that will not come back), are told in plain words on the standard\n"
    "error when it is a terminal, or when DEMTOOLS_DIAGNOSTICS=1 is set.\n"
    "\n"
    "More in the user guide: docs/user-guide.md beside the README, in the sources,\n"
    "in the ZIP and installed (share/doc/demtools/docs/user-guide.md).\n";

[[noreturn]] void answer(const std::string& text) {
  platform::prepare_process();
  std::size_t done = 0;
  std::int32_t code = platform::write_fully(platform::standard_handle(platform::Stream::output),
                                            text.data(), text.size(), done);
  if (code == 0 && done < text.size()) code = code::short_write;
  platform::exit_process(code);
}

// A path given on the command line, as if it were the settings file, is
// easily taken for used; say that the fixed one is read instead.
void warn_about_ignored_arguments(int argc, char* argv[], std::string_view program_name) {
  if (argc < 2) return;
  std::string ignored;
  for (int i = 1; i < argc; ++i) ignored += (i > 1 ? " \"" : "\"") + shown_safely(argv[i]) + "\"";
  add_warning(ignored + " ignored: reads " + std::string(program_name) +
              ".ini in the working folder");
}

}  // namespace

std::string version_line(std::string_view program_name) {
  return std::string(program_name) + " (demtools) " + DEMTOOLS_VERSION;
}

void answer_help_or_version(int argc, char* argv[], const ProgramInfo& program) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    // "/?" and "-?" are how Windows programs are asked for help.
    if (argument == "--help" || argument == "-h" || argument == "/?" || argument == "-?")
      answer(std::string(program.usage) + std::string(read_more));
    if (argument == "--version") answer(version_line(program.name) + "\n");
  }
  warn_about_ignored_arguments(argc, argv, program.name);
}

}  // namespace heightio
