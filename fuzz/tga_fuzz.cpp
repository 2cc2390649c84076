// Fuzz target: random bytes as an image file, read as demscan reads it.
//
// The file goes through start_pixel_data and read_pixel_row into a RowStore,
// row by row, and every row read is decoded in the plain and in the
// green-offset decoding. Beside the sanitizers and the fuzzer's memory limit,
// the target reads the same bytes a second, plain way (one pixel at a time,
// straight from the layout) and checks against it that:
// - every row read holds the pixels the bytes give, in picture order;
// - a layout the reader refuses is one it cannot read (13), and a header,
//   ID field or colour map cut short fails with 100;
// - pixel data cut short fail with 100 exactly at the first row they cannot
//   complete, and complete data never fail;
// - every run-length encoded row read, read again alone from where it began
//   (as demscan's writing phase does), holds the same pixels;
// - a complete image leaves the file position exactly at the end of its pixel
//   data, so a footer is never read;
// - red 255 decodes to +0.0 in both decodings; any other pixel to a whole
//   number, 0 ... 65279 in the plain decoding and green - 127 more in the other.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "error_codes.hpp"
#include "failure.hpp"
#include "fuzz_support.hpp"
#include "pixel_decoding.hpp"
#include "pixel_survey.hpp"
#include "record_file.hpp"
#include "row_store.hpp"
#include "tga_reader.hpp"

namespace {

using namespace heightio;
using namespace demscan;

using fuzz_support::require;

using Pixel = std::array<std::uint8_t, pixel_size>;

// What the bytes hold, read one pixel at a time.
struct PlainReading {
  std::int32_t start_failure = 0;  // 13 or 100 when the pixel data cannot even be reached
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  bool right_to_left = false;
  std::vector<Pixel> pixels;  // in stored order, as far as the bytes go
  bool complete = false;      // the bytes hold all width x height pixels
  std::size_t pixel_data_end = 0;
};

std::uint16_t u16_at(const std::uint8_t* data, std::size_t at) {
  return static_cast<std::uint16_t>(data[at] | data[at + 1] << 8);
}

// Takes one stored pixel of `stored_size` bytes at `at`, if the bytes hold it.
bool take_pixel(const std::uint8_t* data, std::size_t size, std::size_t& at,
                std::size_t stored_size, Pixel& pixel) {
  if (size - at < stored_size) return false;
  pixel = {};
  std::memcpy(pixel.data(), data + at, stored_size);
  at += stored_size;
  return true;
}

PlainReading read_plainly(const std::uint8_t* data, std::size_t size) {
  PlainReading plain;
  if (size < 18) {
    plain.start_failure = code::short_read;
    return plain;
  }
  const std::uint8_t colour_map_type = data[1], type = data[2], depth = data[16];
  if ((type != 2 && type != 10) || (depth != 24 && depth != 32) || colour_map_type > 1) {
    plain.start_failure = code::bad_image_format;
    return plain;
  }
  plain.width = u16_at(data, 12);
  plain.height = u16_at(data, 14);
  plain.right_to_left = (data[17] & 0x10) != 0;
  const std::size_t colour_map =
      colour_map_type == 1 ? std::size_t{u16_at(data, 5)} * ((data[7] + 7u) / 8u) : 0;
  std::size_t at = 18 + data[0] + colour_map;
  if (at > size) {
    plain.start_failure = code::short_read;
    return plain;
  }
  const std::size_t stored_size = depth / 8u;
  const std::uint64_t total = std::uint64_t{plain.width} * plain.height;
  Pixel pixel{};
  while (plain.pixels.size() < total) {
    if (type == 2) {
      if (!take_pixel(data, size, at, stored_size, pixel)) break;
      plain.pixels.push_back(pixel);
      continue;
    }
    // A packet: bit 7 of its first byte set for a run of one pixel repeated,
    // clear for pixels stored as they are; the low 7 bits are the count - 1.
    if (at == size) break;
    const std::uint8_t packet = data[at++];
    const std::uint64_t count =
        std::min<std::uint64_t>((packet & 0x7Fu) + 1u, total - plain.pixels.size());
    if ((packet & 0x80) != 0) {
      if (!take_pixel(data, size, at, stored_size, pixel)) break;
      plain.pixels.insert(plain.pixels.end(), count, pixel);
      continue;
    }
    for (std::uint64_t k = 0; k < count && take_pixel(data, size, at, stored_size, pixel); ++k)
      plain.pixels.push_back(pixel);
  }
  plain.complete = plain.pixels.size() == total;
  plain.pixel_data_end = at;
  return plain;
}

std::size_t complete_rows(const PlainReading& plain) {
  return plain.width == 0 ? plain.height : plain.pixels.size() / plain.width;
}

// Stored row r as the reader must hand it out: pixels left to right as the
// picture shows them.
bool row_matches(const PlainReading& plain, std::size_t r, const std::uint8_t* row) {
  for (std::size_t c = 0; c < plain.width; ++c) {
    const std::size_t stored = plain.right_to_left ? plain.width - 1 - c : c;
    if (std::memcmp(row + c * pixel_size, plain.pixels[r * plain.width + stored].data(),
                    pixel_size) != 0)
      return false;
  }
  return true;
}

std::uint32_t bits_of(float sample) {
  std::uint32_t bits;
  std::memcpy(&bits, &sample, sizeof bits);
  return bits;
}

bool whole(float sample) {
  return sample == static_cast<float>(static_cast<std::int32_t>(sample));
}

float sample_at(const std::vector<std::uint8_t>& row, std::size_t c) {
  float sample;
  std::memcpy(&sample, row.data() + c * pixel_size, sizeof sample);
  return sample;
}

// Decodes a copy of the row both ways, as the program does (in place), and
// checks every sample, and the row's survey, against the pixels.
void check_decoding(const std::uint8_t* row, std::size_t width) {
  const std::span<const std::uint8_t> pixels(row, width * pixel_size);
  std::vector<std::uint8_t> plain(pixels.begin(), pixels.end());
  std::vector<std::uint8_t> green_offset = plain;
  const RowSurvey plain_survey = decode_row_in_place(plain, 0);
  const RowSurvey green_offset_survey = decode_row_in_place(green_offset, 1);
  std::uint32_t foreign = 0;
  std::size_t first_x = 0;
  bool plain_height = false, green_offset_height = false;
  for (std::size_t c = 0; c < width; ++c) {
    const std::uint8_t* pixel = row + c * pixel_size;
    const float p = sample_at(plain, c), g = sample_at(green_offset, c);
    if (pixel[2] == 255) {
      require(bits_of(p) == 0 && bits_of(g) == 0);
      continue;
    }
    require(whole(p) && p >= 0.0f && p <= 65279.0f);
    require(whole(g) && g - p == pixel[1] - 127.0f);
    plain_height = plain_height || p != 0.0f;
    green_offset_height = green_offset_height || g != 0.0f;
    if (pixel[1] != pixel[0] && foreign++ == 0) first_x = c;
  }
  require(plain_survey.samples == width && plain_survey.foreign == foreign &&
          (foreign == 0 || plain_survey.first_x == first_x) &&
          plain_survey.any_height == plain_height);
  require(green_offset_survey.samples == width && green_offset_survey.foreign == 0 &&
          green_offset_survey.any_height == green_offset_height);
}

// Reads the rows into a RowStore, as demscan's reading phase does, noting
// where each run-length encoded row begins (and, after the last row read
// whole, where it ends); returns the failure code (0 when every row came) and
// how many rows came whole.
std::int32_t read_rows(PixelReader& reader, RowStore& store, const PlainReading& plain,
                       std::vector<PackedRowStart>& starts, std::size_t& rows_read) {
  try {
    for (rows_read = 0; rows_read < reader.layout.height; ++rows_read) {
      std::uint8_t* row = store.add_row();
      starts.push_back(packed_row_start(reader));
      read_pixel_row(reader, row);
      starts.back().hash = reader.row_hash;
      require(row_matches(plain, rows_read, row));
    }
    starts.push_back(packed_row_start(reader));
  } catch (const IoError& error) {
    return error.code;
  }
  return 0;
}

// Each run-length encoded row read whole, read again alone from its start.
void reread_rows(PixelReader& reader, const RowStore& store,
                 const std::vector<PackedRowStart>& starts, std::size_t rows_read) {
  std::vector<std::uint8_t> row(std::size_t{reader.layout.width} * pixel_size);
  for (std::size_t r = rows_read; r-- > 0;) {
    reread_packed_row(reader, static_cast<std::uint32_t>(r), starts[r], starts[r + 1].at,
                      row.data());
    // An image zero pixels wide has rows of no bytes, whose buffer has no address.
    require(row.empty() || std::memcmp(row.data(), store.row(r), row.size()) == 0);
  }
}

void read_image(const std::string& file, const PlainReading& plain) {
  RecordFile image;
  open_existing(image, file, 1);
  require(pending_io_result() == 0);
  try {
    PixelReader reader = start_pixel_data(image);
    require(plain.start_failure == 0);
    require(reader.layout.width == plain.width && reader.layout.height == plain.height);

    RowStore store(std::size_t{reader.layout.width} * pixel_size);
    std::vector<PackedRowStart> starts;
    std::size_t rows_read = 0;
    const std::int32_t failure = read_rows(reader, store, plain, starts, rows_read);
    if (failure == 0) {
      require(plain.complete);
      require(::lseek(image.handle, 0, SEEK_CUR) == static_cast<off_t>(plain.pixel_data_end));
    } else {
      require(failure == code::short_read && !plain.complete);
      require(rows_read == complete_rows(plain));
    }
    for (std::size_t r = 0; r < rows_read; ++r) check_decoding(store.row(r), reader.layout.width);
    if (reader.layout.run_length_encoded) reread_rows(reader, store, starts, rows_read);
  } catch (const IoError& error) {
    require(error.code == plain.start_failure);
  }
  close_file(image);
  require(pending_io_result() == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& file = fuzz_support::input_as_file(data, size);

  read_image(file, read_plainly(data, size));
  return 0;
}
