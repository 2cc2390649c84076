// The row hash with the AVX2 instructions of the x86-64 processors that have
// them, about three times as fast as with the SSE2 ones every such processor
// has. Built with AVX2 allowed, and called only where row_hash() finds them.
// Nothing else lives here: a function of this file is never the one that
// runs on a processor without AVX2.
#define XXH_INLINE_ALL
#include <xxhash.h>

#include <immintrin.h>

#include <cstdint>

namespace heightio {

std::uint64_t row_hash_avx2(const void* bytes, std::size_t size) {
  const std::uint64_t hash = XXH3_64bits(bytes, size);
  // Code built for SSE2 alone that follows would pay for AVX state left dirty.
  _mm256_zeroupper();
  return hash;
}

}  // namespace heightio
