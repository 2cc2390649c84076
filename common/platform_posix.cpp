#include "platform.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "error_codes.hpp"

#ifdef __linux__
#include <linux/loop.h>
#include <linux/major.h>
#include <sys/sysmacros.h>
#endif

// Start of the program image, placed by the linker.
extern "C" const char __executable_start;

namespace heightio::platform {
namespace {

int descriptor(Handle handle) {
  return static_cast<int>(handle);
}

// The standard streams that were closed when the process started.
std::array<bool, 3> closed_at_start{};

thread_local int last_refusal_number = 0;

// Keeps the operating system's error number for the message a person reads,
// and maps it to a run-time error code.
std::int32_t refused(int os_error, OsRequest request, bool directory_missing = false) {
  last_refusal_number = os_error;
  return code_for_os_error(os_error, request, directory_missing);
}

// A path that holds a NUL byte cannot reach the kernel whole; cutting it at
// the NUL could name another file, so it is refused instead.
bool holds_nul(const std::string& path) {
  return path.find('\0') != std::string::npos;
}

bool directory_of_path_missing(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return false;
  const std::string directory = slash == 0 ? "/" : path.substr(0, slash);
  struct stat info {};
  return ::stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode);
}

std::int32_t open_error(const std::string& path) {
  const int error = errno;
  return refused(error, OsRequest::open, error == ENOENT && directory_of_path_missing(path));
}

std::int32_t open_with(const std::string& path, int flags, Handle& handle) {
  handle = no_handle;
  if (holds_nul(path)) return refused(EINVAL, OsRequest::open);
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return open_error(path);
  handle = fd;
  return 0;
}

}  // namespace

Handle standard_handle(Stream stream) {
  Handle handle = no_handle;
  switch (stream) {
    case Stream::input:
      handle = STDIN_FILENO;
      break;
    case Stream::output:
      handle = STDOUT_FILENO;
      break;
    case Stream::error:
      handle = STDERR_FILENO;
      break;
  }
  return handle != no_handle && closed_at_start[static_cast<std::size_t>(handle)] ? no_handle
                                                                                  : handle;
}

std::int32_t open_for_reading(const std::string& path, Handle& handle) {
  if (const std::int32_t code = open_with(path, O_RDONLY, handle); code != 0) return code;
  struct stat info {};
  if (::fstat(descriptor(handle), &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(descriptor(handle));
    handle = no_handle;
    return refused(EISDIR, OsRequest::open);
  }
  advise_sequential(handle);
  return 0;
}

std::int32_t create_for_writing(const std::string& path, Handle& handle) {
  return open_with(path, O_RDWR | O_CREAT | O_TRUNC, handle);
}

std::int32_t read_some(Handle handle, void* dest, std::size_t size, std::size_t& done) {
  done = 0;
  ssize_t got;
  do {
    got = ::read(descriptor(handle), dest, size);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return refused(errno, OsRequest::read);
  done = static_cast<std::size_t>(got);
  return 0;
}

std::int32_t write_fully(Handle handle, const void* src, std::size_t size, std::size_t& done) {
  done = 0;
  const auto* bytes = static_cast<const unsigned char*>(src);
  while (done < size) {
    const ssize_t put = ::write(descriptor(handle), bytes + done, size - done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return refused(errno, OsRequest::write);
    if (put == 0) break;
    done += static_cast<std::size_t>(put);
  }
  return 0;
}

std::int32_t write_pieces(Handle handle, std::span<const Piece> pieces, std::size_t& done) {
  done = 0;
  constexpr std::size_t most = 64;  // pieces per request, well below any system's IOV_MAX
  std::array<iovec, most> vectors{};
  std::size_t next = 0;  // the first piece not wholly written
  std::size_t sent = 0;  // bytes of that piece already written
  for (;;) {
    while (next < pieces.size() && sent == pieces[next].size) {
      ++next;
      sent = 0;
    }
    if (next == pieces.size()) return 0;
    std::size_t count = 0;
    for (std::size_t p = next; p < pieces.size() && count < most; ++p) {
      const std::size_t skip = p == next ? sent : 0;
      // writev takes non-const addresses but only reads from them.
      auto* start = const_cast<unsigned char*>(static_cast<const unsigned char*>(pieces[p].bytes));
      vectors[count++] = {start + skip, pieces[p].size - skip};
    }
    const ssize_t put = ::writev(descriptor(handle), vectors.data(), static_cast<int>(count));
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return refused(errno, OsRequest::write);
    if (put == 0) return 0;
    done += static_cast<std::size_t>(put);
    for (std::size_t left = static_cast<std::size_t>(put); left > 0;) {
      const std::size_t take = std::min(left, pieces[next].size - sent);
      sent += take;
      left -= take;
      if (sent == pieces[next].size) {
        ++next;
        sent = 0;
      }
    }
  }
}

std::int32_t read_at(Handle handle, std::uint64_t offset, void* dest, std::size_t size,
                     std::size_t& done) {
  done = 0;
  auto* bytes = static_cast<unsigned char*>(dest);
  while (done < size) {
    if (offset + done > static_cast<std::uint64_t>(INT64_MAX))
      return refused(EINVAL, OsRequest::read);
    const ssize_t got =
        ::pread(handle, bytes + done, size - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return refused(errno, OsRequest::read);
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return 0;
}

std::int32_t seek_to(Handle handle, std::uint64_t position) {
  if (position > static_cast<std::uint64_t>(INT64_MAX)) return refused(EINVAL, OsRequest::seek);
  if (::lseek(descriptor(handle), static_cast<off_t>(position), SEEK_SET) < 0)
    return refused(errno, OsRequest::seek);
  return 0;
}

std::int32_t close_handle(Handle handle) {
  // Linux releases the descriptor even when close reports EINTR, so it is not retried.
  if (::close(descriptor(handle)) != 0 && errno != EINTR) return refused(errno, OsRequest::close);
  return 0;
}

std::int32_t query_terminal(Handle handle, bool& interactive) {
  struct stat info {};
  if (::fstat(descriptor(handle), &info) != 0) return refused(errno, OsRequest::open);
  interactive = ::isatty(descriptor(handle)) == 1;
  return 0;
}

int last_refusal() {
  return last_refusal_number;
}

std::string os_error_text(int os_error) {
  return std::strerror(os_error);
}

void write_terminal_text(Handle handle, const std::string& text) {
  std::size_t done = 0;
  (void)write_fully(handle, text.data(), text.size(), done);
}

void advise_sequential(Handle handle) {
  (void)::posix_fadvise(descriptor(handle), 0, 0, POSIX_FADV_SEQUENTIAL);
}

void* reserve_pages(std::size_t bytes) {
  // A huge page backs only an aligned stretch of 2 MiB, and the system places
  // a mapping on any page: a buffer of 2 MiB or more is placed on a boundary,
  // from a mapping 2 MiB longer whose ends are given back.
  constexpr std::size_t huge_page = std::size_t{2} << 20;
  const std::size_t extra = bytes >= huge_page ? huge_page : 0;
  void* mapped =
      ::mmap(nullptr, bytes + extra, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  auto* start = static_cast<std::uint8_t*>(mapped);
  auto* pages = start;
  if (extra != 0) {
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(start);
    pages = start + ((huge_page - at % huge_page) % huge_page);
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    std::uint8_t* end = pages + (bytes + page - 1) / page * page;
    if (pages > start) (void)::munmap(start, static_cast<std::size_t>(pages - start));
    if (start + bytes + extra > end)
      (void)::munmap(end, static_cast<std::size_t>(start + bytes + extra - end));
  }
  (void)::madvise(pages, bytes, MADV_HUGEPAGE);
  return pages;
}

void release_pages(void* pages, std::size_t bytes) {
  (void)::munmap(pages, bytes);
}

namespace {
FileIdentity identity_of(const struct stat& info) {
  if (S_ISREG(info.st_mode))
    return {FileIdentity::Kind::regular, static_cast<std::uint64_t>(info.st_dev),
            static_cast<std::uint64_t>(info.st_ino)};
  if (S_ISBLK(info.st_mode) || S_ISCHR(info.st_mode))
    return {FileIdentity::Kind::device, static_cast<std::uint64_t>(info.st_rdev), 0};
  return {};
}

// A Linux loop device is another name of the file behind it: the kernel
// tells that file's device and inode to a descriptor of the loop device.
void add_backing_file(FileIdentity& identity, const struct stat& info, int fd) {
#ifdef __linux__
  if (!S_ISBLK(info.st_mode) || ::major(info.st_rdev) != LOOP_MAJOR) return;
  loop_info64 loop{};
  if (::ioctl(fd, LOOP_GET_STATUS64, &loop) != 0) return;
  identity.backing_device = loop.lo_device;
  identity.backing_inode = loop.lo_inode;
#else
  (void)identity, (void)info, (void)fd;
#endif
}

bool backed_by(const FileIdentity& device, const FileIdentity& file) {
  return device.kind == FileIdentity::Kind::device && file.kind == FileIdentity::Kind::regular &&
         device.backing_inode != 0 && device.backing_device == file.device &&
         device.backing_inode == file.inode;
}
}  // namespace

FileIdentity identify_handle(Handle handle) {
  struct stat info {};
  if (::fstat(descriptor(handle), &info) != 0) return {};
  FileIdentity identity = identity_of(info);
  add_backing_file(identity, info, descriptor(handle));
  return identity;
}

FileIdentity identify_path(const std::string& path) {
  struct stat info {};
  if (holds_nul(path) || ::stat(path.c_str(), &info) != 0) return {};
  FileIdentity identity = identity_of(info);
  if (S_ISBLK(info.st_mode)) {
    // Opened for reading only, to ask the loop device about its file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      add_backing_file(identity, info, fd);
      ::close(fd);
    }
  }
  return identity;
}

bool same_file_or_device(const FileIdentity& a, const FileIdentity& b) {
  if (backed_by(a, b) || backed_by(b, a)) return true;
  return a.kind != FileIdentity::Kind::none && a.kind == b.kind && a.device == b.device &&
         a.inode == b.inode;
}

namespace {
// A standard stream closed at start leaves its number free, and the next file
// opened would take it: console text meant for a closed standard output would
// then go into that file. Such a stream counts as absent, and its number is
// taken by /dev/null (the lowest free number is the one being checked, as the
// lower ones are open by then).
void reserve_closed_standard_streams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    closed_at_start[static_cast<std::size_t>(fd)] = true;
    (void)::open("/dev/null", O_RDONLY);
  }
}
}  // namespace

bool regular_file_size(Handle handle, std::uint64_t& size) {
  struct stat info {};
  if (::fstat(descriptor(handle), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  size = static_cast<std::uint64_t>(info.st_size);
  return true;
}

std::string working_folder() {
  std::string path(4096, '\0');
  if (::getcwd(path.data(), path.size()) == nullptr) return {};
  path.resize(path.find('\0'));
  return path;
}

void prepare_process() {
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
  reserve_closed_standard_streams();
}

void exit_process(int status) {
  std::exit(status);
}

bool window_is_own(std::uint32_t, bool) {
  return false;
}

std::uintptr_t image_start() {
  return reinterpret_cast<std::uintptr_t>(&__executable_start);
}

}  // namespace heightio::platform
