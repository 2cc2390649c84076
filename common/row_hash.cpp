#include "row_hash.hpp"

#include <new>

#include "processor.hpp"

// Header only, so that no library is needed on any system.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace heightio {

std::uint64_t row_hash_avx2(const void* bytes, std::size_t size);

// The same hash either way; the AVX2 one where the processor has it.
std::uint64_t row_hash(const void* bytes, std::size_t size) {
  return has_avx2() ? row_hash_avx2(bytes, size) : XXH3_64bits(bytes, size);
}

HashStream::HashStream() : state_(XXH3_createState()) {
  if (state_ == nullptr) throw std::bad_alloc();
  XXH3_64bits_reset(static_cast<XXH3_state_t*>(state_));
}

HashStream::~HashStream() {
  XXH3_freeState(static_cast<XXH3_state_t*>(state_));
}

void HashStream::add(const void* bytes, std::size_t size) {
  XXH3_64bits_update(static_cast<XXH3_state_t*>(state_), bytes, size);
}

std::uint64_t HashStream::take() {
  auto* state = static_cast<XXH3_state_t*>(state_);
  const std::uint64_t hash = XXH3_64bits_digest(state);
  XXH3_64bits_reset(state);
  return hash;
}

}  // namespace heightio
