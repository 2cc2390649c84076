// Runs a built program with its standard output and standard error each either
// captured through a pipe or attached to a pseudo-terminal, as a person at a
// terminal would run it. The terminal passes bytes unchanged (no CR added
// before LF), so what it shows can be compared byte for byte.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>
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

// A program running with its standard output and standard error on a
// pseudo-terminal and its standard input on a pipe that the test feeds, so
// that the test can see what the terminal shows before it gives more input.
class TerminalSession {
 public:
  TerminalSession(const std::filesystem::path& program, const std::filesystem::path& dir);
  ~TerminalSession();
  TerminalSession(const TerminalSession&) = delete;
  TerminalSession& operator=(const TerminalSession&) = delete;

  void feed(std::string_view bytes);

  // Waits up to 5 seconds for the terminal to show `text` after what an
  // earlier call found; true when it did.
  bool shows(std::string_view text);

  // Ends the standard input and collects the rest until the program exits.
  TerminalRun finish();

 private:
  pid_t child_ = -1;
  int terminal_ = -1;
  int terminal_child_side_ = -1;
  int input_ = -1;
  std::string shown_;
  std::size_t seen_ = 0;
};

}  // namespace e2e
