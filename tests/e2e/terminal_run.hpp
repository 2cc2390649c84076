// Runs a built program with its standard output and standard error each either
// captured through a pipe or attached to a pseudo-terminal, as a person at a
// terminal would run it. The terminal passes bytes unchanged (no CR added
// before LF), so what it shows can be compared byte for byte.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace e2e {

enum class Attach { pipe, terminal };

struct TerminalRun {
  int status = -1;       // the exit status, or -1 when the program died by a signal
  std::string out;       // bytes on the standard output, when it was a pipe
  std::string err;       // bytes on the standard error, when it was a pipe
  std::string terminal;  // bytes on the terminal, from either stream attached to it
};

// Runs `program` with `args` in `dir`, the standard input empty.
TerminalRun run_attached(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& dir, Attach out, Attach err);

}  // namespace e2e
