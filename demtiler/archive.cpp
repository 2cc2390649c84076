#include "archive.hpp"

#include <bit>
#include <cstring>
#include <limits>
#include <vector>

#include "console.hpp"
#include "error_codes.hpp"
#include "failure.hpp"
#include "layouts.hpp"
#include "raster_band.hpp"

namespace demtiler {
namespace {

using namespace heightio;

constexpr std::uint8_t format_version = 11;
constexpr std::uint32_t cell_size = 10;
constexpr std::uint32_t texture_side = 128;
constexpr std::uint64_t tile_data_size = std::uint64_t{height_block_size} + texture_block_size;

using Bytes = std::vector<std::uint8_t>;

std::uint64_t first_height_block(std::uint64_t tile_count) {
  return archive_header_size + directory_entry_size * tile_count + template_block_size;
}

// Magic, version, count and one directory entry per tile: ty before tx, then
// the offsets of the tile's height block and texture block.
Bytes archive_header(const TileList& tiles) {
  Bytes header(archive_header_size + directory_entry_size * tiles.size());
  std::memcpy(header.data(), "GND", 3);
  header[3] = format_version;
  store_u32(&header[4], static_cast<std::uint32_t>(tiles.size()));
  std::uint64_t offset = first_height_block(tiles.size());
  for (std::size_t i = 0; i < tiles.size(); ++i, offset += tile_data_size) {
    std::uint8_t* entry = &header[archive_header_size + directory_entry_size * i];
    store_u32(entry, tiles[i].ty);
    store_u32(entry + 4, tiles[i].tx);
    store_u32(entry + 8, static_cast<std::uint32_t>(offset));
    store_u32(entry + 12, static_cast<std::uint32_t>(offset + height_block_size));
  }
  return header;
}

// A signalling NaN has all exponent bits set, the quiet bit (22) clear and a
// non-zero mantissa; dividing it is an invalid operation.
bool is_signalling_nan(std::uint32_t bits) {
  return (bits & 0x7F800000u) == 0x7F800000u && (bits & 0x00400000u) == 0 &&
         (bits & 0x003FFFFFu) != 0;
}

// Cells go column by column: for tile column k, for tile row r. Each is
// FD 00 00, the sample / 10 as a float, 00 00 7E.
void assemble_height_block(const TileWindow& window, Bytes& block) {
  block.assign(height_block_size, 0);
  std::uint8_t* cell = &block[4];
  for (std::uint32_t k = 0; k < tile_span; ++k) {
    for (std::uint32_t r = 0; r < tile_span; ++r, cell += cell_size) {
      const std::uint32_t bits = window[r * tile_span + k];
      if (is_signalling_nan(bits)) raise_at_call_site(code::invalid_float_operation);
      cell[0] = 0xFD;
      store_u32(cell + 3, std::bit_cast<std::uint32_t>(std::bit_cast<float>(bits) / 10.0f));
      cell[9] = 0x7E;
    }
  }
}

// Every tile gets the same blank 128 x 128 texture, a TGA header and zero pixels.
const Bytes& texture_block() {
  static const Bytes block = [] {
    Bytes bytes(texture_block_size, 0);
    const TgaHeader header = make_tga_header(texture_side, texture_side);
    std::memcpy(bytes.data(), header.data(), header.size());
    return bytes;
  }();
  return block;
}

void write_height_block(RecordFile& archive, const TileWindow& window, Bytes& block) {
  assemble_height_block(window, block);
  write_block(archive, block.data(), block.size());
  check_io();
}

void write_texture_block(RecordFile& archive) {
  write_block(archive, texture_block().data(), texture_block().size());
  check_io();
}

// The band for tile i reaches to the last listed tile of the same tile row
// that fits one band, so empty stretches of a sparse raster are not read.
std::uint32_t band_end(const TileList& tiles, std::size_t i) {
  std::size_t last = i;
  while (last + 1 < tiles.size() && tiles[last + 1].ty == tiles[i].ty &&
         tiles[last + 1].tx - tiles[i].tx < RasterBand::max_tiles)
    ++last;
  return tiles[last].tx + 1;
}

void print_progress(const TileRef& tile, std::uint32_t n) {
  write_int(tile.ty, 6);
  write_int(tile.tx, 6);
  write_int(n, 6);
  write_char('\r');
  end_write();
  check_io();
}

}  // namespace

std::uint32_t max_archive_tiles() {
  // The last texture block must start below 2^32.
  constexpr std::uint64_t limit = std::numeric_limits<std::uint32_t>::max();
  std::uint64_t n = limit / tile_data_size;
  while (n > 0 && first_height_block(n) + (n - 1) * tile_data_size + height_block_size > limit) --n;
  return static_cast<std::uint32_t>(n);
}

void refuse_too_many_tiles(const TileList& tiles) {
  if (tiles.size() > max_archive_tiles()) record_failure(code::too_many_tiles);
}

void write_archive_header(RecordFile& archive, const TileList& tiles) {
  const Bytes header = archive_header(tiles);
  write_block(archive, header.data(), header.size());
  check_io();
}

void copy_template_block(RecordFile& template_file, RecordFile& archive) {
  Bytes block(template_block_size);
  read_block(template_file, block.data(), template_block_size);
  check_io();
  write_block(archive, block.data(), template_block_size);
  check_io();
}

void write_tiles(RecordFile& archive, RecordFile& raster, std::uint32_t width,
                 const TileList& tiles) {
  TileWindow window;
  RasterBand band;
  Bytes block;
  for (std::size_t i = 0; i < tiles.size(); ++i) {
    const TileRef& tile = tiles[i];
    print_progress(tile, static_cast<std::uint32_t>(i + 1));
    if (!band.holds(tile)) band.load(raster, tile.ty, tile.tx, band_end(tiles, i), width);
    // The scan has read every window already, so a band fails to load only
    // when the raster has shrunk since. Reading the tile window by window then
    // fails at the very row that is missing, instead of writing stale samples.
    if (band.holds(tile)) {
      band.copy_window(tile.tx, window);
    } else {
      read_window(raster, tile, width, window);
    }
    write_height_block(archive, window, block);
    write_texture_block(archive);
  }
}

}  // namespace demtiler
