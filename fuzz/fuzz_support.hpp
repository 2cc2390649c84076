// What both fuzz targets need: a hard stop on a broken invariant, and the
// fuzz input as a file, since the layer reads files.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace fuzz_support {

inline void require(bool condition) {
  if (!condition) std::abort();
}

// Puts the input into a file held in memory by this process alone and returns
// a path that opens it; nothing is left on disk, and concurrent runs cannot
// meet each other's input.
inline const std::string& input_as_file(const std::uint8_t* data, std::size_t size) {
  static const int fd = ::memfd_create("demtools-fuzz-input", MFD_CLOEXEC);
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);
  require(fd >= 0);
  require(::ftruncate(fd, 0) == 0);
  for (std::size_t done = 0; done < size;) {
    const ssize_t put = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
    require(put > 0);
    done += static_cast<std::size_t>(put);
  }
  return path;
}

}  // namespace fuzz_support
