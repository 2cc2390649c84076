#include "pixel_decoding.hpp"

namespace demscan {

void decode_height_row(std::span<const std::uint8_t> pixels, std::span<float> samples,
                       std::uint16_t mode) {
  for (std::size_t c = 0; c < samples.size(); ++c)
    samples[c] = decode_height_pixel(pixels.subspan(c * pixel_size).first<pixel_size>(), mode);
}

}  // namespace demscan
