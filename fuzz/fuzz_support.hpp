// What both fuzz targets need: a hard stop on a broken invariant, and the
// fuzz input as a file, since the layer reads files.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz_support {

inline void require(bool condition) {
  if (!condition) std::abort();
}

// Writes the input to one scratch file per process and returns its path.
inline const std::string& input_as_file(const std::uint8_t* data, std::size_t size) {
  static const std::string path = [] {
    std::string name = "/tmp/demtools-fuzz-XXXXXX";
    const int fd = ::mkstemp(name.data());
    require(fd >= 0);
    ::close(fd);
    return name;
  }();
  FILE* out = std::fopen(path.c_str(), "wb");
  require(out != nullptr);
  require(std::fwrite(data, 1, size, out) == size);
  std::fclose(out);
  return path;
}

}  // namespace fuzz_support
