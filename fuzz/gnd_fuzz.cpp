// Fuzz target: random bytes as a GND tile archive, read as demjoin reads it.
//
// The file goes through read_directory and read_tile_heights, once with
// positioned reads, as from a file, and once from start to end, as from a
// pipe. Beside the sanitizers and the fuzzer's memory limit, the target reads
// the same bytes a second, plain way, straight from the layout, and checks
// against it that:
// - a header or directory cut short fails with 100, anything else that breaks
//   the layout (magic, version, count, order, repeats, offsets) with 13, and a
//   directory that keeps it is read whole, each tile as listed;
// - each height block is read exactly when the bytes hold it whole (else 100),
//   and gives each cell's height times 10, row by row, or 207 for a
//   signalling NaN; both ways of reading give the same;
// - a stream is read on to the end of the archive after its last tile, and
//   no further;
// - the size fitted to the tiles holds every one of them.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

#include "archive_reader.hpp"
#include "error_codes.hpp"
#include "failure.hpp"
#include "fuzz_support.hpp"
#include "raster_bands.hpp"
#include "record_file.hpp"

namespace {

using namespace heightio;
using namespace demjoin;

using fuzz_support::require;

std::uint32_t u32_at(const std::uint8_t* data, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | data[at + i];
  return value;
}

// The code the directory must fail with, from the layout alone; 0 when it
// keeps every rule.
std::int32_t plain_directory_code(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return code::short_read;
  if (std::memcmp(data, "GND\x0B", 4) != 0) return code::bad_image_format;
  const std::uint64_t count = u32_at(data, 4);
  if (count > demtiler::max_archive_tiles()) return code::bad_image_format;
  if (size < 8 + 16 * count) return code::short_read;
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::size_t at = 8 + 16 * i;
    const std::uint64_t key = std::uint64_t{u32_at(data, at)} << 32 | u32_at(data, at + 4);
    const std::uint64_t before =
        i == 0 ? 0 : std::uint64_t{u32_at(data, at - 16)} << 32 | u32_at(data, at - 12);
    const std::uint64_t height_at = 3808 + 16 * count + 123318 * i;
    if ((i > 0 && key <= before) || u32_at(data, at + 8) != height_at ||
        u32_at(data, at + 12) != height_at + 57764)
      return code::bad_image_format;
  }
  return 0;
}

std::int32_t code_of(auto&& step) {
  try {
    step();
    check_io();
    return 0;
  } catch (const IoError& error) {
    return error.code;
  }
}

// Reads every tile's heights and checks them against the bytes; `stream`
// reads from start to end, as from a pipe.
void check_tiles(const std::string& file, const std::uint8_t* data, std::size_t size, bool stream) {
  RecordFile archive;
  open_existing(archive, file, 1);
  require(pending_io_result() == 0);
  std::optional<ArchiveReader> reader;
  require(code_of([&] { reader.emplace(read_directory(archive)); }) ==
          plain_directory_code(data, size));
  if (!reader) return close_file(archive);
  reader->positioned = !stream;
  require(reader->tiles.size() == u32_at(data, 4));
  for (std::size_t i = 0; i < reader->tiles.size(); ++i) {
    require(reader->tiles[i].ty == u32_at(data, 8 + 16 * i) &&
            reader->tiles[i].tx == u32_at(data, 12 + 16 * i));
    TileHeights heights{};
    const std::int32_t code = code_of([&] { read_tile_heights(*reader, i, heights); });
    const std::uint64_t block = height_block_offset(reader->tiles.size(), i);
    if (size < block + demtiler::height_block_size) {
      require(code == code::short_read);
      break;
    }
    require(code == 0 || code == code::invalid_float_operation);
    for (std::uint32_t k = 0; code == 0 && k < 76; ++k)
      for (std::uint32_t r = 0; r < 76; ++r) {
        const float height = std::bit_cast<float>(u32_at(data, block + 4 + (k * 76 + r) * 10 + 3));
        const std::uint32_t expected = std::bit_cast<std::uint32_t>(height * 10.0f);
        require(heights[r * 76 + k] == expected || height != height);
      }
    if (code != 0) break;
    // After the last tile, a stream is read on to the archive's end, no further.
    if (i + 1 == reader->tiles.size() && stream) {
      const std::uint64_t end = height_block_offset(i + 1, i + 1);
      read_to_archive_end(*reader);
      require(reader->at == std::min<std::uint64_t>(size, end));
    }
  }
  const RasterSize size_for_all = fitted_size(0, 0, reader->tiles);
  refuse_tiles_outside(reader->tiles, size_for_all, "");
  require(pending_io_result() == 0 || size_for_all.width > UINT32_MAX ||
          size_for_all.height > UINT32_MAX);
  code_of([] {});
  close_file(archive);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& file = fuzz_support::input_as_file(data, size);
  check_tiles(file, data, size, false);
  check_tiles(file, data, size, true);
  code_of([] {});
  return 0;
}
