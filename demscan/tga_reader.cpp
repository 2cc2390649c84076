#include "tga_reader.hpp"

#include <algorithm>
#include <cstring>
#include <optional>

#include "error_codes.hpp"
#include "failure.hpp"
#include "image_signature.hpp"
#include "layouts.hpp"

namespace demscan {
namespace {

using namespace heightio;

constexpr std::uint8_t uncompressed_true_colour = 2;
constexpr std::uint8_t run_length_true_colour = 10;
constexpr std::uint8_t right_to_left_bit = 0x10;
constexpr std::uint8_t top_row_first_bit = 0x20;

// A packet header byte: bit 7 set for a run of one repeated pixel, clear for
// that many stored pixels; the low 7 bits hold the pixel count minus 1.
constexpr std::uint8_t run_packet_bit = 0x80;
constexpr std::uint32_t max_packet_pixels = 128;

// Run-length encoded data are read in pieces of at most this size.
constexpr std::size_t packed_piece_size = std::size_t{1} << 20;

// A colour map of type 1 is present but unused by a true-colour image; its
// entries take whole bytes.
std::uint32_t colour_map_bytes(const TgaHeader& header) {
  if (header[tga::color_map_type] != 1) return 0;
  const std::uint32_t entry_bytes = (header[tga::color_map_entry_bits] + 7u) / 8u;
  return load_u16(&header[tga::color_map_length]) * entry_bytes;
}

void skip_bytes(RecordFile& image, std::uint32_t count) {
  std::vector<std::uint8_t> skipped(count);
  read_block(image, skipped.data(), count);
  check_io();
}

// Stored pixels of 3 or 4 bytes become 4-byte pixels; a 24-bit pixel gets
// alpha 0, which no decoding looks at.
void widen_pixels(const std::uint8_t* stored, std::uint32_t stored_size, std::uint8_t* pixels,
                  std::size_t count) {
  if (stored_size == pixel_size) {
    std::memcpy(pixels, stored, count * pixel_size);
    return;
  }
  for (std::size_t c = 0; c < count; ++c) {
    std::memcpy(pixels + c * pixel_size, stored + c * stored_size, stored_size);
    pixels[c * pixel_size + channel::alpha] = 0;
  }
}

void reverse_pixels(std::uint8_t* row, std::size_t width) {
  for (std::size_t left = 0, right = width; left + 1 < right; ++left, --right) {
    std::uint8_t* a = row + left * pixel_size;
    std::swap_ranges(a, a + pixel_size, row + (right - 1) * pixel_size);
  }
}

// One block read per row; 24-bit rows go through the reader's row buffer.
void read_plain_row(PixelReader& reader, std::uint8_t* row) {
  const std::size_t width = reader.layout.width;
  if (reader.layout.stored_pixel_size == pixel_size) {
    read_block(*reader.image, row, width * pixel_size);
    check_io();
    return;
  }
  read_block(*reader.image, reader.buffer.data(), reader.buffer.size());
  check_io();
  widen_pixels(reader.buffer.data(), reader.layout.stored_pixel_size, row, width);
}

// The bytes that complete pixel data must still hold from the read position
// on: the rest of a stored-pixel packet, then at least one packet (a header
// byte and a pixel) for every 128 pixels after the current packet. Reading no
// further than this never takes a byte that follows the pixel data, such as a
// footer, yet reads in large pieces while much of the image is left.
std::uint64_t bytes_certainly_ahead(const PixelReader& reader) {
  const std::uint64_t stored_size = reader.layout.stored_pixel_size;
  const std::uint64_t in_packet = reader.packet_is_run ? 0 : reader.packet_left * stored_size;
  const std::uint64_t after_packet = reader.pixels_left - reader.packet_left;
  const std::uint64_t packets_after = (after_packet + max_packet_pixels - 1) / max_packet_pixels;
  return in_packet + packets_after * (1 + stored_size);
}

// Adds the bytes taken since the last call to the hash of the row.
void hash_taken_bytes(PixelReader& reader) {
  if (reader.hash == nullptr || reader.positioned) return;
  reader.hash->add(reader.buffer.data() + reader.hashed, reader.position - reader.hashed);
  reader.hashed = reader.position;
}

// Makes `count` bytes available at the read position. Read in a piece that
// reaches past the current row, the pixel data may end before the bytes that are certainly
// ahead: whatever arrives is kept, and only a shortfall of the bytes needed
// now is read again with the checked operation, which then fails with 100.
// So every row the file holds whole is handed out before the failure.
void need_bytes(PixelReader& reader, std::size_t count) {
  if (reader.end - reader.position >= count) return;
  hash_taken_bytes(reader);
  reader.hashed = 0;
  std::memmove(reader.buffer.data(), reader.buffer.data() + reader.position,
               reader.end - reader.position);
  reader.end -= reader.position;
  reader.buffer_at += reader.position;
  reader.position = 0;
  if (reader.positioned) {
    read_block_at(*reader.image, reader.buffer_at + reader.end, reader.buffer.data() + reader.end,
                  count - reader.end);
    check_io();
    reader.end = count;
    return;
  }
  const std::uint64_t ahead =
      std::min<std::uint64_t>(bytes_certainly_ahead(reader), packed_piece_size);
  const std::size_t more =
      std::max<std::size_t>(static_cast<std::size_t>(ahead), count) - reader.end;
  reader.end += read_available(*reader.image, reader.buffer.data() + reader.end, more);
  if (reader.end >= count) return;
  read_block(*reader.image, reader.buffer.data() + reader.end, count - reader.end);
  check_io();
  reader.end = count;
}

// Takes a packet header and, for a run, its one pixel. A packet reaching past
// the last pixel of the image is cut there.
void start_packet(PixelReader& reader) {
  const std::uint32_t stored_size = reader.layout.stored_pixel_size;
  need_bytes(reader, 1 + stored_size);
  const std::uint8_t header = reader.buffer[reader.position++];
  const std::uint32_t count = (header & ~run_packet_bit) + 1u;
  reader.packet_left =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(count, reader.pixels_left));
  reader.packet_is_run = (header & run_packet_bit) != 0;
  if (!reader.packet_is_run) return;
  widen_pixels(&reader.buffer[reader.position], stored_size, reader.run_pixel.data(), 1);
  reader.position += stored_size;
}

// Packets may run on from one row into the next, so the packet state carries
// over between rows.
void read_packed_row(PixelReader& reader, std::uint8_t* row) {
  const std::uint32_t stored_size = reader.layout.stored_pixel_size;
  for (std::size_t c = 0; c < reader.layout.width;) {
    if (reader.packet_left == 0) start_packet(reader);
    const std::size_t count = std::min<std::size_t>(reader.packet_left, reader.layout.width - c);
    if (reader.packet_is_run) {
      for (std::size_t i = 0; i < count; ++i)
        std::memcpy(row + (c + i) * pixel_size, reader.run_pixel.data(), pixel_size);
    } else {
      need_bytes(reader, count * stored_size);
      widen_pixels(&reader.buffer[reader.position], stored_size, row + c * pixel_size, count);
      reader.position += count * stored_size;
    }
    c += count;
    reader.packet_left -= static_cast<std::uint32_t>(count);
    reader.pixels_left -= count;
  }
  hash_taken_bytes(reader);
  if (reader.hash != nullptr && !reader.positioned) reader.row_hash = reader.hash->take();
}

// The layout the header declares, or nothing for an image that is not true
// colour (type 2, or 10 run-length encoded) of 24 or 32 bits per pixel with
// colour-map type 0 or 1.
std::optional<TgaLayout> describe_tga(const TgaHeader& header) {
  const std::uint8_t type = header[tga::image_type];
  const std::uint8_t depth = header[tga::pixel_depth];
  if (type != uncompressed_true_colour && type != run_length_true_colour) return std::nullopt;
  if (depth != 24 && depth != 32) return std::nullopt;
  if (header[tga::color_map_type] > 1) return std::nullopt;
  const TgaSize size = read_tga_size(header);
  TgaLayout layout;
  layout.width = size.width;
  layout.height = size.height;
  layout.stored_pixel_size = depth / 8u;
  layout.run_length_encoded = type == run_length_true_colour;
  layout.top_row_first = (header[tga::descriptor] & top_row_first_bit) != 0;
  layout.right_to_left = (header[tga::descriptor] & right_to_left_bit) != 0;
  layout.bytes_before_pixels = header[tga::id_length] + colour_map_bytes(header);
  return layout;
}

PixelReader make_reader(RecordFile& image, const TgaLayout& layout) {
  PixelReader reader;
  reader.image = &image;
  reader.layout = layout;
  reader.buffer_at = pixel_data_start(layout);
  reader.pixels_left = std::uint64_t{layout.width} * layout.height;
  if (layout.run_length_encoded) {
    reader.buffer.resize(packed_piece_size);
    // Rows read again are checked against the hash of their stored bytes;
    // rows of an image read once are kept, and need none.
    if (readable_again(image)) reader.hash = std::make_unique<HashStream>();
  } else if (layout.stored_pixel_size != pixel_size)
    reader.buffer.resize(std::size_t{layout.width} * layout.stored_pixel_size);
  return reader;
}

}  // namespace

std::uint64_t pixel_data_start(const TgaLayout& layout) {
  return tga_header_size + layout.bytes_before_pixels;
}

std::size_t stored_row_bytes(const TgaLayout& layout) {
  return std::size_t{layout.width} * layout.stored_pixel_size;
}

void unpack_plain_row(const TgaLayout& layout, const std::uint8_t* stored, std::uint8_t* row) {
  widen_pixels(stored, layout.stored_pixel_size, row, layout.width);
  if (layout.right_to_left) reverse_pixels(row, layout.width);
}

PixelReader start_pixel_data(RecordFile& image) {
  TgaHeader header{};
  read_block(image, header.data(), header.size());
  check_io();
  const std::optional<TgaLayout> layout = describe_tga(header);
  if (!layout) reject_image_layout(image, header);
  skip_bytes(image, layout->bytes_before_pixels);
  return make_reader(image, *layout);
}

void read_pixel_row(PixelReader& reader, std::uint8_t* row) {
  if (reader.layout.run_length_encoded)
    read_packed_row(reader, row);
  else
    read_plain_row(reader, row);
  if (reader.layout.right_to_left) reverse_pixels(row, reader.layout.width);
}

PackedRowStart packed_row_start(const PixelReader& reader) {
  return {reader.buffer_at + reader.position, reader.packet_left, reader.packet_is_run,
          reader.run_pixel};
}

void reread_packed_row(PixelReader& reader, std::uint32_t index, const PackedRowStart& start,
                       std::uint64_t end, std::uint8_t* row) {
  const std::uint64_t stored_bytes = end - start.at;
  if (reader.buffer.size() < stored_bytes) reader.buffer.resize(stored_bytes);
  reader.positioned = true;
  reader.buffer_at = start.at;
  reader.position = 0;
  reader.end = 0;
  need_bytes(reader, stored_bytes);
  if (heightio::row_hash(reader.buffer.data(), stored_bytes) != start.hash) {
    record_job_failure({code::input_changed, 0, 0, reader.image});
    check_io();
  }
  reader.pixels_left = std::uint64_t{reader.layout.width} * (reader.layout.height - index);
  reader.packet_left = start.packet_left;
  reader.packet_is_run = start.packet_is_run;
  reader.run_pixel = start.run_pixel;
  read_packed_row(reader, row);
  if (reader.layout.right_to_left) reverse_pixels(row, reader.layout.width);
}

}  // namespace demscan
