// Preloaded into a program under test (LD_PRELOAD, Linux only): holds the
// program's first positioned read of bytes it has read before, the start of
// its second pass over an input, until the test has changed the input. The
// test names a named pipe in HOLD_REREAD_FIFO; the hold reads it to its end,
// which comes when the test, the file changed, closes its writing end.
// Positioned reads on other threads wait meanwhile, so that every read of the
// second pass sees the changed file.
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

pthread_mutex_t hold = PTHREAD_MUTEX_INITIALIZER;
bool held = false;
std::array<off_t, 1024> read_up_to{};  // by descriptor: the end of the bytes read so far

void wait_for_test() {
  const char* fifo = std::getenv("HOLD_REREAD_FIFO");
  if (fifo == nullptr) return;
  const int fd = ::open(fifo, O_RDONLY);
  char sink[64];
  while (fd >= 0 && ::read(fd, sink, sizeof sink) > 0) {
  }
  if (fd >= 0) ::close(fd);
}

using Pread = ssize_t (*)(int, void*, size_t, off_t);

ssize_t held_pread(const char* name, int fd, void* dest, size_t count, off_t offset) {
  const auto real = reinterpret_cast<Pread>(::dlsym(RTLD_NEXT, name));
  if (fd < 0 || static_cast<std::size_t>(fd) >= read_up_to.size())
    return real(fd, dest, count, offset);
  pthread_mutex_lock(&hold);
  // Bytes below the file position came with plain reads.
  const off_t before = std::max(read_up_to[fd], ::lseek(fd, 0, SEEK_CUR));
  if (!held && offset < before) {
    held = true;
    wait_for_test();
  }
  read_up_to[fd] = std::max(read_up_to[fd], offset + static_cast<off_t>(count));
  pthread_mutex_unlock(&hold);
  return real(fd, dest, count, offset);
}

}  // namespace

extern "C" ssize_t pread(int fd, void* dest, size_t count, off_t offset) {
  return held_pread("pread", fd, dest, count, offset);
}

extern "C" ssize_t pread64(int fd, void* dest, size_t count, off_t offset) {
  return held_pread("pread64", fd, dest, count, offset);
}
