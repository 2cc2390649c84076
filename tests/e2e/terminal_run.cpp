#include "terminal_run.hpp"

#include "harness.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <signal.h>

#include <array>
#include <cerrno>
#include <stdexcept>
#include <tuple>
#include <utility>

namespace e2e {
namespace {

struct Pipe {
  int read_end = -1;
  int write_end = -1;
};

Pipe make_pipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  return {fds[0], fds[1]};
}

// The standard input is `in_fd`, or empty when it is -1.
[[noreturn]] void exec_child(const std::filesystem::path& program,
                             const std::vector<std::string>& args, const std::filesystem::path& dir,
                             int in_fd, int out_fd, int err_fd) {
  if (in_fd < 0) in_fd = ::open("/dev/null", O_RDONLY);
  if (in_fd < 0 || ::dup2(in_fd, STDIN_FILENO) < 0 || ::dup2(out_fd, STDOUT_FILENO) < 0 ||
      ::dup2(err_fd, STDERR_FILENO) < 0 || ::chdir(dir.c_str()) != 0)
    ::_exit(127);
  const std::vector<std::string> arguments = exec_arguments(program.string(), args);
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

// Appends what `fd` holds now; false once it has ended.
bool read_available(int fd, std::string& into) {
  for (;;) {
    char buffer[4096];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
      into.append(buffer, static_cast<std::size_t>(got));
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    return got < 0 && errno == EAGAIN;
  }
}

// Collects the pipes until they end and the terminal until the child has
// exited. The terminal's other side stays open here, so that no byte the
// child wrote is lost when it exits; its last bytes are read after the exit.
int collect(pid_t child, int terminal, Pipe out, Pipe err, TerminalRun& run) {
  std::array<int, 3> fds{terminal, out.read_end, err.read_end};
  std::array<std::string*, 3> into{&run.terminal, &run.out, &run.err};
  for (const int fd : fds) ::fcntl(fd, F_SETFL, O_NONBLOCK);
  int raw_status = 0;
  bool exited = false;
  while (!exited || fds[1] >= 0 || fds[2] >= 0) {
    std::array<pollfd, 3> polled{};
    for (std::size_t i = 0; i < fds.size(); ++i) polled[i] = {fds[i], POLLIN, 0};
    (void)::poll(polled.data(), polled.size(), 10);
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i] >= 0 && !read_available(fds[i], *into[i]) && i > 0) {
        ::close(fds[i]);
        fds[i] = -1;
      }
    }
    if (!exited) exited = ::waitpid(child, &raw_status, WNOHANG) == child;
  }
  read_available(terminal, run.terminal);
  return WIFEXITED(raw_status) ? WEXITSTATUS(raw_status) : -1;
}

// A raw pseudo-terminal, so that bytes pass unchanged: {our side, the child's}.
std::pair<int, int> open_terminal() {
  int master = -1;
  int slave = -1;
  termios raw{};
  ::cfmakeraw(&raw);
  if (::openpty(&master, &slave, nullptr, &raw, nullptr) != 0)
    throw std::runtime_error("openpty failed");
  ::fcntl(master, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave, F_SETFD, FD_CLOEXEC);
  return {master, slave};
}

}  // namespace

TerminalRun run_attached(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& dir, Attach out, Attach err) {
  const auto [master, slave] = open_terminal();
  const Pipe out_pipe = make_pipe();
  const Pipe err_pipe = make_pipe();

  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    exec_child(program, args, dir, -1, out == Attach::terminal ? slave : out_pipe.write_end,
               err == Attach::terminal ? slave : err_pipe.write_end);
  }
  ::close(out_pipe.write_end);
  ::close(err_pipe.write_end);

  TerminalRun run;
  run.status = collect(child, master, out_pipe, err_pipe, run);
  ::close(master);
  ::close(slave);
  return run;
}

TerminalSession::TerminalSession(const std::filesystem::path& program,
                                 const std::filesystem::path& dir) {
  std::tie(terminal_, terminal_child_side_) = open_terminal();
  const Pipe input = make_pipe();
  child_ = ::fork();
  if (child_ < 0) throw std::runtime_error("fork failed");
  if (child_ == 0)
    exec_child(program, {}, dir, input.read_end, terminal_child_side_, terminal_child_side_);
  ::close(input.read_end);
  input_ = input.write_end;
  ::fcntl(terminal_, F_SETFL, O_NONBLOCK);
}

TerminalSession::~TerminalSession() {
  if (child_ > 0) {
    ::kill(child_, SIGKILL);
    ::waitpid(child_, nullptr, 0);
  }
  for (const int fd : {terminal_, terminal_child_side_, input_})
    if (fd >= 0) ::close(fd);
}

void TerminalSession::feed(std::string_view bytes) {
  if (::write(input_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
    throw std::runtime_error("feeding the program failed");
}

bool TerminalSession::shows(std::string_view text) {
  for (int waited_ms = 0; waited_ms < 5000; waited_ms += 10) {
    read_available(terminal_, shown_);
    const std::size_t at = shown_.find(text, seen_);
    if (at != std::string::npos) {
      seen_ = at + text.size();
      return true;
    }
    pollfd polled{terminal_, POLLIN, 0};
    (void)::poll(&polled, 1, 10);
  }
  return false;
}

TerminalRun TerminalSession::finish() {
  ::close(input_);
  input_ = -1;
  TerminalRun run;
  run.terminal = shown_;
  run.status = collect(child_, terminal_, Pipe{}, Pipe{}, run);
  child_ = -1;
  return run;
}

}  // namespace e2e
