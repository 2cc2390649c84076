#include "pixel_decoding.hpp"

#include <cstring>

namespace demscan {
namespace {

// Through a single address, so that the compiler sees each pixel read and its
// sample stored in the same place, and turns the loop into vector
// instructions.
template <bool green_offset>
void decode_in_place(std::uint8_t* row, std::size_t count) {
  static_assert(sizeof(float) == pixel_size);
  for (std::size_t c = 0; c < count; ++c) {
    std::uint32_t word;
    std::memcpy(&word, row + c * pixel_size, pixel_size);
    const auto sample = static_cast<float>(decoded_number<green_offset>(word));
    std::memcpy(row + c * pixel_size, &sample, pixel_size);
  }
}

}  // namespace

void decode_row_in_place(std::span<std::uint8_t> row, std::uint16_t mode) {
  if (mode == 0)
    decode_in_place<false>(row.data(), row.size() / pixel_size);
  else
    decode_in_place<true>(row.data(), row.size() / pixel_size);
}

}  // namespace demscan
