// A fast hash of the bytes of a row, so that a row read a second time can be
// told apart from the row the first read checked, a few bytes a row.
#pragma once

#include <cstddef>
#include <cstdint>

namespace heightio {

// The hash of `size` bytes.
std::uint64_t row_hash(const void* bytes, std::size_t size);

// The hash of bytes that arrive in pieces of any size: the same as row_hash
// of all of them at once.
class HashStream {
 public:
  HashStream();
  ~HashStream();
  HashStream(const HashStream&) = delete;
  HashStream& operator=(const HashStream&) = delete;

  void add(const void* bytes, std::size_t size);
  // The hash of the bytes added since the last take.
  std::uint64_t take();

 private:
  void* state_;
};

}  // namespace heightio
