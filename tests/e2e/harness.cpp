#include "harness.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace e2e {
namespace fs = std::filesystem;

namespace {

std::string quote(const fs::path& path) {
  std::string quoted = "'";
  for (const char c : path.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void write_file(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

bool through_launcher() {
  return !std::string_view(PROGRAM_LAUNCHER).empty();
}

std::string shell_command(const std::string& program) {
  if (!through_launcher()) return quote(program);
  return quote(PROGRAM_LAUNCHER) + " " + quote(program);
}

std::vector<std::string> exec_arguments(const std::string& program,
                                        const std::vector<std::string>& args) {
  std::vector<std::string> arguments;
  if (through_launcher()) arguments.emplace_back(PROGRAM_LAUNCHER);
  arguments.push_back(program);
  arguments.insert(arguments.end(), args.begin(), args.end());
  return arguments;
}

int os_code(int posix, int windows) {
  return through_launcher() ? windows : posix;
}

Workspace::Workspace() {
  std::string pattern = (fs::temp_directory_path() / "demtools-e2e-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  work_ = root_ / "work";
  capture_ = root_ / "capture";
  fs::create_directory(work_);
  fs::create_directory(capture_);
  // The programs' standard error must not depend on the developer's shell:
  // a test that wants the warnings shown sets the variable for its own run.
  ::unsetenv("DEMTOOLS_DIAGNOSTICS");
}

Workspace::~Workspace() {
  std::error_code ignored;
  // Tests may leave read-only files or folders behind.
  fs::permissions(work_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(root_, ignored);
}

void Workspace::write(const std::string& name, std::string_view bytes) const {
  write_file(at(name), bytes);
}

std::string Workspace::read(const std::string& name) const {
  return read_file(at(name));
}

bool Workspace::exists(const std::string& name) const {
  return fs::exists(at(name));
}

Snapshot Workspace::snapshot() const {
  Snapshot files;
  for (const auto& entry : fs::recursive_directory_iterator(work_)) {
    if (entry.is_regular_file())
      files[fs::relative(entry.path(), work_).string()] = read_file(entry.path());
  }
  return files;
}

RunResult Workspace::run_piped(const std::string& launch, std::string_view stdin_bytes,
                               const std::string& stdout_redirect) const {
  write_file(capture_ / "stdin", stdin_bytes);
  write_file(capture_ / "stdout", "");
  // The standard input is a pipe, as a user's `producer | program` would give.
  const std::string out =
      stdout_redirect.empty() ? ">" + quote(capture_ / "stdout") : stdout_redirect;
  const std::string command = "cd " + quote(work_) + " && cat " + quote(capture_ / "stdin") +
                              " | " + launch + " " + out + " 2>" + quote(capture_ / "stderr");
  const int raw = std::system(command.c_str());
  RunResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = read_file(capture_ / "stdout");
  result.err = read_file(capture_ / "stderr");
  return result;
}

RunResult Workspace::run(const std::string& program, std::string_view stdin_bytes) const {
  return run_piped(shell_command(program), stdin_bytes);
}

RunResult Workspace::run_with_redirect(const std::string& program, const std::string& redirect,
                                       std::string_view stdin_bytes) const {
  return run_piped(shell_command(program), stdin_bytes, redirect);
}

RunResult Workspace::run_with_memory_limit(const std::string& program, std::size_t memory_kib,
                                           std::string_view stdin_bytes) const {
  // The limit is set in a subshell of the program alone, not of `cat`.
  return run_piped(
      "(ulimit -v " + std::to_string(memory_kib) + " && exec " + shell_command(program) + ")",
      stdin_bytes);
}

RunResult Workspace::run_with_file_size_limit(const std::string& program,
                                              std::size_t blocks) const {
  // Without the signal that a write past the limit raises, the write fails.
  return run_piped(
      "(trap '' XFSZ; ulimit -f " + std::to_string(blocks) + " && exec " + quote(program) + ")",
      {});
}

RunResult Workspace::run_pausing_between_phases(const std::string& program,
                                                const std::string& between_phases) const {
  const fs::path pause = capture_ / "pause";
  fs::remove(pause);
  if (::mkfifo(pause.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
  // Opening the pipe for writing waits until the held read opens it; closing
  // it lets the program go on. The timeout keeps a program that never reads
  // again from hanging the test. A sanitizer's run-time library wants to come
  // first among the libraries, and is told not to mind the one preloaded.
  const std::string hold = "exec 3>" + quote(pause) + "; " + between_phases;
  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::string asan_options =
      std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0";
  return run_piped("(ASAN_OPTIONS=" + quote(asan_options) + " LD_PRELOAD=" +
                       quote(HOLD_REREAD_LIBRARY) + " HOLD_REREAD_FIFO=" + quote(pause) + " " +
                       shell_command(program) + " & timeout 30 sh -c " + quote(hold) + "; wait $!)",
                   {});
}

namespace {

// In the forked child, before exec: puts `fd` on `target`, or ends the child.
void put_on(int fd, int target) {
  if (fd < 0 || ::dup2(fd, target) < 0) ::_exit(126);
  if (fd != target) ::close(fd);
}

}  // namespace

RunResult Workspace::run_with_output(const std::string& program, StandardOutput output,
                                     std::string_view stdin_bytes) const {
  write_file(capture_ / "stdin", stdin_bytes);
  write_file(capture_ / "stdout", "");
  int pipe_ends[2] = {-1, -1};
  if (output == StandardOutput::reader_gone) {
    if (::pipe(pipe_ends) != 0) throw std::runtime_error("pipe failed");
    ::close(pipe_ends[0]);  // the reader is gone before the program starts
  }
  // Everything the child needs is made before the fork.
  const std::string work = work_.string(), in = (capture_ / "stdin").string(),
                    out = (capture_ / "stdout").string(), err = (capture_ / "stderr").string();
  const std::vector<std::string> arguments = exec_arguments(program);
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    // A broken pipe must end the program only if it does not guard against it.
    ::signal(SIGPIPE, SIG_DFL);
    if (::chdir(work.c_str()) != 0) ::_exit(126);
    put_on(::open(in.c_str(), O_RDONLY), STDIN_FILENO);
    put_on(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
    switch (output) {
      case StandardOutput::captured:
        put_on(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
        break;
      case StandardOutput::closed:
        ::close(STDOUT_FILENO);
        break;
      case StandardOutput::reader_gone:
        put_on(pipe_ends[1], STDOUT_FILENO);
        break;
      case StandardOutput::full_disk:
        put_on(::open("/dev/full", O_WRONLY), STDOUT_FILENO);
        break;
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  if (pipe_ends[1] >= 0) ::close(pipe_ends[1]);
  int raw = 0;
  while (::waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
  }
  RunResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = read_file(capture_ / "stdout");
  result.err = read_file(capture_ / "stderr");
  return result;
}

Snapshot Workspace::checksums() const {
  Snapshot files;
  std::string chunk(std::size_t{1} << 20, '\0');
  for (const auto& entry : fs::recursive_directory_iterator(work_)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::size_t hash = 0;
    std::uintmax_t size = 0;
    while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
      const auto got = static_cast<std::size_t>(in.gcount());
      hash = hash * 1099511628211u ^ std::hash<std::string_view>{}({chunk.data(), got});
      size += got;
    }
    files[fs::relative(entry.path(), work_).string()] =
        std::to_string(size) + " " + std::to_string(hash);
  }
  return files;
}

std::string line(std::string_view text) {
  return std::string(text) + "\r\n";
}

std::string expect_run_error(const std::string& console_tail, int code) {
  char expected_code[8];
  std::snprintf(expected_code, sizeof expected_code, "%3d", code);
  const std::string prefix = std::string("Runtime error ") + expected_code + " at ";
  const std::string location = console_tail.substr(std::min(prefix.size(), console_tail.size()), 8);
  const bool matches = console_tail.size() == prefix.size() + 10 &&
                       console_tail.starts_with(prefix) && console_tail.ends_with("\r\n") &&
                       location.find_first_not_of("0123456789ABCDEF") == std::string::npos;
  EXPECT_TRUE(matches) << "console tail: " << console_tail;
  return matches ? location : std::string();
}

std::vector<std::string> changed_files(const Snapshot& before, const Snapshot& after) {
  std::vector<std::string> changed;
  for (const auto& [name, bytes] : after) {
    const auto old = before.find(name);
    if (old == before.end() || old->second != bytes) changed.push_back(name);
  }
  for (const auto& [name, bytes] : before) {
    if (!after.contains(name)) changed.push_back(name);
  }
  return changed;
}

RunResult run_changing_only(const Workspace& ws, const std::string& program,
                            const std::vector<std::string>& outputs, std::string_view stdin_bytes,
                            std::size_t memory_kib) {
  const Snapshot before = ws.snapshot();
  RunResult result = memory_kib == 0 ? ws.run(program, stdin_bytes)
                                     : ws.run_with_memory_limit(program, memory_kib, stdin_bytes);
  for (const std::string& name : changed_files(before, ws.snapshot())) {
    EXPECT_NE(std::find(outputs.begin(), outputs.end(), name), outputs.end())
        << name << " changed, but it is not an output";
  }
  return result;
}

}  // namespace e2e
