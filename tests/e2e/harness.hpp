// Runs a built program in a fresh temporary folder and captures everything it
// leaves behind: console bytes, exit status and the bytes of every file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "test_data.hpp"

namespace e2e {

// The programs under test run through a launcher when the build names one:
// Wine, for the Windows programs. Tests of a mechanism the launcher does not
// pass on skip themselves, saying why.
bool through_launcher();

// The shell words that run `program`, and the arguments that exec it.
std::string shell_command(const std::string& program);
std::vector<std::string> exec_arguments(const std::string& program,
                                        const std::vector<std::string>& args = {});

// An operating-system error number that differs between the systems: the
// Windows programs report the Windows number unchanged.
int os_code(int posix, int windows);

// Why a test cannot run when the programs run through the launcher.
namespace launcher_limit {
inline constexpr std::string_view memory =
    "an address-space limit stops Wine itself before the program starts";
inline constexpr std::string_view file_size =
    "a file-size limit applies to Wine's own files and its server as well, so the program does "
    "not meet it alone";
inline constexpr std::string_view closed_stream =
    "Wine hands a closed descriptor on as an open handle, so no program starts without a "
    "standard output under it (the layer's unit tests cover a missing handle)";
inline constexpr std::string_view terminal =
    "Wine's console rewrites what reaches a pseudo-terminal (escape sequences, CR before LF); "
    "the Windows tests check the words without it";
inline constexpr std::string_view standard_handle_identity =
    "Wine's standard handles, made from Linux descriptors, answer no question about their "
    "file; the layer's unit tests give a Windows program a standard output that is its input";
inline constexpr std::string_view linux_device =
    "Windows gives a device no number to tell it by, and a Windows program sees a Linux device "
    "file through Wine as a file of no known kind";
inline constexpr std::string_view fifo =
    "a template that is a FIFO, read by a Windows program under Wine, does not hold the run "
    "between its passes reliably (a writer that does not wait finds no reader)";
inline constexpr std::string_view pause_fifo =
    "the pause between the passes is a library preloaded into a Linux program, which a Windows "
    "program under Wine does not load (the layer's unit tests read a file that ends early at a "
    "position under Wine)";
}  // namespace launcher_limit

struct RunResult {
  int status = -1;  // the exit status, or -1 when the program died by a signal
  std::string out;  // bytes on the standard output
  std::string err;  // bytes on the standard error
};

// Where the standard output of a run goes.
enum class StandardOutput {
  captured,     // a file, read back into RunResult::out
  closed,       // no standard output at all
  reader_gone,  // a pipe whose reading end was closed before the program started
  full_disk,    // /dev/full, which refuses every write with "no space left"
};

using Snapshot = std::map<std::string, std::string>;  // file name -> bytes

class Workspace {
 public:
  Workspace();
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  const std::filesystem::path& dir() const { return work_; }
  std::filesystem::path at(const std::string& name) const { return work_ / name; }

  void write(const std::string& name, std::string_view bytes) const;
  std::string read(const std::string& name) const;
  bool exists(const std::string& name) const;

  // Every regular file below the folder, by relative name.
  Snapshot snapshot() const;

  // Runs `program` with the folder as working directory; `stdin_bytes` is fed
  // through a pipe on the standard input.
  RunResult run(const std::string& program, std::string_view stdin_bytes = {}) const;

  // As run(), with the program's address space limited to `memory_kib` KiB,
  // so that a program that asks for more memory sees its allocation fail.
  RunResult run_with_memory_limit(const std::string& program, std::size_t memory_kib,
                                  std::string_view stdin_bytes = {}) const;

  // As run(), with the shell command `between_phases` run in the folder by a
  // second process while the program waits between its two passes over its
  // input: a library of the tests, preloaded, holds the program's first read
  // of bytes it has read before until the command is done.
  RunResult run_pausing_between_phases(const std::string& program,
                                       const std::string& between_phases) const;

  // As run(), with every file the program writes limited to `blocks` blocks
  // of 512 bytes; a write past that fails as on a full disk.
  RunResult run_with_file_size_limit(const std::string& program, std::size_t blocks) const;

  // As run(), with the standard output put where the shell redirection
  // `redirect` says, such as "1<>terrain.raw"; RunResult::out stays empty.
  RunResult run_with_redirect(const std::string& program, const std::string& redirect,
                              std::string_view stdin_bytes = {}) const;

  // Runs `program` with its standard output as given and `stdin_bytes` in a
  // file on its standard input.
  RunResult run_with_output(const std::string& program, StandardOutput output,
                            std::string_view stdin_bytes = {}) const;

  // Every regular file below the folder, by relative name, as its size and a
  // hash of its bytes: for files too large to hold in a Snapshot.
  Snapshot checksums() const;

 private:
  // Runs `launch` (a shell command) in the folder with `stdin_bytes` piped in,
  // the standard error captured and the standard output captured unless
  // `stdout_redirect` puts it elsewhere.
  RunResult run_piped(const std::string& launch, std::string_view stdin_bytes,
                      const std::string& stdout_redirect = {}) const;

  std::filesystem::path root_;
  std::filesystem::path work_;
  std::filesystem::path capture_;
};

using namespace test_data;

// Address-space limits (run_with_memory_limit) mean nothing under the address
// or thread sanitizer, which reserve terabytes at start.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool address_space_limits_work = false;
#else
inline constexpr bool address_space_limits_work = true;
#endif

// A console line as the programs end it.
std::string line(std::string_view text);

// Matches "Runtime error ccc at XXXXXXXX" + CR LF for the given code, and
// returns the eight location digits.
std::string expect_run_error(const std::string& console_tail, int code);

// The files of `after` that differ from `before`, are new, or are gone.
std::vector<std::string> changed_files(const Snapshot& before, const Snapshot& after);

// Runs `program` in `ws` and expects every file but the named outputs to be
// unchanged afterwards. A `memory_kib` other than 0 limits the address space.
RunResult run_changing_only(const Workspace& ws, const std::string& program,
                            const std::vector<std::string>& outputs,
                            std::string_view stdin_bytes = {}, std::size_t memory_kib = 0);

}  // namespace e2e
