// Reading the pixels of a TGA image in the layouts paint programs save.
//
// dempaint writes uncompressed 32-bit pixels, bottom row first. An image
// retouched and saved again may come back with an ID field, a colour map,
// run-length encoding, 24-bit pixels or another origin corner; the reader
// takes all of these and hands out rows of 4-byte pixels (blue, green, red,
// alpha), left to right as the picture shows them, in the order the rows are
// stored, as decode_height_pixel takes them. Every read is checked where it
// happens.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "pixel_decoding.hpp"
#include "record_file.hpp"
#include "row_hash.hpp"

namespace demscan {

struct TgaLayout {
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint32_t stored_pixel_size = 4;  // 3 for 24-bit pixels (blue, green, red)
  bool run_length_encoded = false;
  bool top_row_first = false;             // descriptor bit 5
  bool right_to_left = false;             // descriptor bit 4
  std::uint32_t bytes_before_pixels = 0;  // ID field and colour map, after the header
};

// The byte of the file at which the pixel data begin.
std::uint64_t pixel_data_start(const TgaLayout& layout);

// The bytes of one stored row of an uncompressed image.
std::size_t stored_row_bytes(const TgaLayout& layout);

// One stored row of an uncompressed image as 4-byte pixels, left to right.
void unpack_plain_row(const TgaLayout& layout, const std::uint8_t* stored, std::uint8_t* row);

// Where the reader stands in the pixel data of one image.
struct PixelReader {
  heightio::RecordFile* image = nullptr;
  TgaLayout layout;
  std::vector<std::uint8_t> buffer;  // stored bytes of a piece, or one stored row
  std::size_t position = 0;          // next unused byte of the buffer
  std::size_t end = 0;               // end of the bytes read into the buffer
  std::uint64_t buffer_at = 0;       // the byte of the file at buffer[0]
  bool positioned = false;           // more bytes come from positioned reads at buffer_at + end
  std::uint64_t pixels_left = 0;     // pixels of the image not yet handed out
  std::uint32_t packet_left = 0;     // pixels of the current packet not yet handed out
  bool packet_is_run = false;
  heightio::Pixel run_pixel{};
  // Run-length encoded, read in file order from an image that can be read
  // again: the stored bytes taken, hashed as they go, and the hash of the
  // stored bytes of the row read last.
  std::unique_ptr<heightio::HashStream> hash;
  std::size_t hashed = 0;  // the first byte of the buffer not yet hashed
  std::uint64_t row_hash = 0;
};

// Where a stored row of a run-length encoded image begins: the byte its data
// start at, and the state of a packet that runs on into it from the row
// before. With it, any row can be decoded alone.
struct PackedRowStart {
  std::uint64_t at = 0;
  std::uint32_t packet_left = 0;
  bool packet_is_run = false;
  heightio::Pixel run_pixel{};
  std::uint64_t hash = 0;  // of the row's stored bytes, as the reader's row_hash gave it
};

// Reads the header, ends the program with run-time error 13 for a layout it
// cannot read, and skips the ID field and the colour map.
PixelReader start_pixel_data(heightio::RecordFile& image);

// Fills `row` with the next stored row: width pixels of 4 bytes, left to
// right. Pixel data that end early fail with run-time error 100, after every
// row they hold whole.
void read_pixel_row(PixelReader& reader, std::uint8_t* row);

// Where the next stored row of a run-length encoded image begins; after the
// last row, where the pixel data end.
PackedRowStart packed_row_start(const PixelReader& reader);

// Reads stored row `index` (from 0) of a run-length encoded image again, alone,
// with positioned reads: its data lie from `start` up to `end`, the start of
// the row after it. Data that end early fail with run-time error 100, data
// whose hash is not start.hash with 154.
void reread_packed_row(PixelReader& reader, std::uint32_t index, const PackedRowStart& start,
                       std::uint64_t end, std::uint8_t* row);

}  // namespace demscan
