#include "archive.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "console.hpp"
#include "error_codes.hpp"
#include "failure.hpp"
#include "layouts.hpp"
#include "pipeline.hpp"
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

// The bytes of one tile in the archive, written with one request: its
// height block, then the blank texture block. The constant bytes are put in
// once; each tile then fills in only its heights.
void put_constant_bytes(std::uint8_t* tile_data) {
  std::memset(tile_data, 0, tile_data_size);
  for (std::uint8_t* cell = tile_data + 4; cell < tile_data + height_block_size;
       cell += cell_size) {
    cell[0] = 0xFD;
    cell[9] = 0x7E;
  }
  const TgaHeader header = make_tga_header(texture_side, texture_side);
  std::memcpy(tile_data + height_block_size, header.data(), header.size());
}

// Cells go column by column: for tile column k, for tile row r. Each is
// FD 00 00, the sample / 10 as a float, 00 00 7E. False at a signalling NaN,
// whose division would be an invalid operation: nothing is filled in then.
// The check and the divisions run over the whole window first, in its own
// order, where the compiler does several at once.
bool put_heights(const TileWindow& window, std::uint8_t* tile_data) {
  bool signalling = false;
  for (const std::uint32_t bits : window) signalling |= is_signalling_nan(bits);
  if (signalling) return false;
  std::array<std::uint32_t, tile_span * tile_span> heights;
  for (std::size_t i = 0; i < window.size(); ++i)
    heights[i] = std::bit_cast<std::uint32_t>(std::bit_cast<float>(window[i]) / 10.0f);
  std::uint8_t* cell = tile_data + 4;
  for (std::uint32_t k = 0; k < tile_span; ++k)
    for (std::uint32_t r = 0; r < tile_span; ++r, cell += cell_size)
      store_u32(cell + 3, heights[r * tile_span + k]);
  return true;
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

// The widest band the tile pass reads: from a listed tile to the last one of
// its tile row that fits one band.
std::uint32_t widest_band(const TileList& tiles) {
  std::uint32_t last_tx = 0;
  for (const TileRef& tile : tiles) last_tx = std::max(last_tx, tile.tx);
  return tiles.empty() ? 0 : std::min(last_tx + 1, RasterBand::max_tiles);
}

// Tiles whose archive bytes are built ahead of the one being written.
constexpr std::size_t tile_slots = 16;

// The tile pass: each job builds a tile's archive bytes in its slot, its band
// read from the raster when the band before does not hold it, its window
// copied, its heights filled in and its hash compared with the map pass's.
// The jobs share one band, so the second thread alone runs them while there
// is one. The program's own thread then only writes.
class TilePass {
 public:
  TilePass(const RecordFile& raster, std::uint32_t width, const TileList& tiles)
      : raster_(raster), width_(width), tiles_(tiles), band_(widest_band(tiles)) {
    pipeline_.start(tiles.size(), [this](std::uint64_t i, std::uint8_t* slot, Runner) {
      return build(static_cast<std::uint32_t>(i), slot);
    });
  }

  Pipeline::Taken take(std::size_t i) { return pipeline_.take(i); }

 private:
  JobResult build(std::uint32_t i, std::uint8_t* slot) {
    if (i < tile_slots) put_constant_bytes(slot);
    const TileRef& tile = tiles_[i];
    JobResult result;
    if (!band_.holds(tile))
      result = band_.load(raster_, {tile.ty, tile.tx, band_end(tiles_, i)}, width_);
    if (!band_.holds(tile)) return {result.code, i, result.os_error, result.file};
    band_.copy_window(tile.tx, window_);
    if (!put_heights(window_, slot)) return {code::invalid_float_operation, i};
    if (band_.window_hash(tile.tx) != tile.hash) return {code::input_changed, i, 0, &raster_};
    return {};
  }

  const RecordFile& raster_;
  const std::uint32_t width_;
  const TileList& tiles_;
  RasterBand band_;
  TileWindow window_{};
  Pipeline pipeline_{tile_slots, tile_data_size, Helping::never};  // last: its thread stops first
};

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

TemplateBlock read_template_block(RecordFile& template_file) {
  TemplateBlock block{};
  read_block(template_file, block.data(), block.size());
  check_io();
  return block;
}

void write_template_block(RecordFile& archive, const TemplateBlock& block) {
  write_block(archive, block.data(), block.size());
  check_io();
}

void write_tiles(RecordFile& archive, const RecordFile& raster, std::uint32_t width,
                 const TileList& tiles) {
  // The buffers are taken, and the thread started, at the first tile, after
  // its progress line: there the samples are first needed, and a failure to
  // get memory shows.
  std::optional<TilePass> pass;
  for (std::size_t i = 0; i < tiles.size(); ++i) {
    print_progress(tiles[i], static_cast<std::uint32_t>(i + 1));
    if (!pass) pass.emplace(raster, width, tiles);
    const Pipeline::Taken taken = pass->take(i);
    if (taken.result.code != 0) record_job_failure(taken.result);
    check_io();
    write_block(archive, taken.slot, tile_data_size);
    check_io();
  }
}

}  // namespace demtiler
