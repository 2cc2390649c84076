// The only arguments the programs know: --help (or -h, /?, -?) and --version. Every
// other argument is ignored; the work itself is set in the settings file.
#pragma once

#include <string>
#include <string_view>

namespace heightio {

struct ProgramInfo {
  std::string_view name;
  std::string_view usage;  // the --help text: what the program does and its settings file
};

// Answers --help, -h, /?, -? or --version, whichever comes first, on the standard
// output and ends the program, touching no file; returns when there is none
// of them, after adding a warning that names the arguments it ignores. The
// answer ends with status 0, or with the run-time error code when it cannot
// be written.
void answer_help_or_version(int argc, char* argv[], const ProgramInfo& program);

// The version line, "dempaint (demtools) 1.2.3".
std::string version_line(std::string_view program_name);

}  // namespace heightio
