#include "raster_bands.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <string>

#include "console.hpp"
#include "error_codes.hpp"
#include "failure.hpp"
#include "pipeline.hpp"

namespace demjoin {
namespace {

using namespace heightio;
using demtiler::tile_span;
using demtiler::tile_stride;
using demtiler::TileList;

constexpr std::uint32_t shared_rows = tile_span - tile_stride;

// Zero rows after the last tile row go out in writes of at least this many
// samples, however narrow the raster.
constexpr std::size_t min_band_samples = std::size_t{1} << 18;

std::size_t band_samples(std::uint32_t width) {
  return std::max(std::size_t{tile_span} * width, min_band_samples);
}

std::uint64_t size_holding(std::uint64_t last_tile) {
  return std::uint64_t{tile_stride} * (last_tile + 1) + shared_rows;
}

std::string size_words(std::uint64_t width, std::uint64_t height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

void print_progress(std::uint32_t ty) {
  write_int(ty, 6);
  write_char('\r');
  end_write();
  check_io();
}

// Whether the tiles left of, above left, above and above right of tile tx
// are archived; they were placed before it and share samples with it.
struct Neighbours {
  bool left, above_left, above, above_right;

  bool placed_before(std::uint32_t r, std::uint32_t k) const {
    const bool top = r < shared_rows;
    return (k < shared_rows && (left || (top && above_left))) ||
           (top && (above || (k >= tile_stride && above_right)));
  }
};

// Counts the shared samples where the tile's height differs from the one
// already in the band: the top rows and the left columns only.
std::uint64_t count_differences(const TileHeights& heights, const std::uint32_t* band,
                                std::uint32_t width, const Neighbours& around) {
  std::uint64_t count = 0;
  for (std::uint32_t r = 0; r < tile_span; ++r) {
    const std::uint32_t columns = r < shared_rows ? tile_span : shared_rows;
    for (std::uint32_t k = 0; k < columns; ++k)
      count += around.placed_before(r, k) &&
               band[std::size_t{r} * width + k] != heights[r * tile_span + k];
  }
  return count;
}

// The heights of the archive's tiles in directory order. From a regular file
// each height block is read where it lies and decoded a few tiles ahead, on
// the pipeline's second thread, while the program places and writes; a
// stream is read in order on the program's thread.
class TilesInOrder {
 public:
  explicit TilesInOrder(ArchiveReader& reader) : reader_(reader) {
    if (!reader.positioned || reader.tiles.empty()) return;
    pipeline_.emplace(tile_slots, slot_bytes);
    pipeline_->start(reader.tiles.size(), [this](std::uint64_t i, std::uint8_t* slot, Runner) {
      return load_tile_heights(reader_, i, slot + block_at, *new (slot) TileHeights);
    });
  }

  // Entry i's heights, until the entry after the next is taken. A failure of
  // its block is raised here.
  const TileHeights& take(std::size_t i) {
    if (!pipeline_) {
      read_tile_heights(reader_, i, heights_);
      return heights_;
    }
    const Pipeline::Taken taken = pipeline_->take(i);
    record_job_failure(taken.result);
    check_io();
    return *std::launder(reinterpret_cast<const TileHeights*>(taken.slot));
  }

 private:
  // A slot holds a tile's heights, then the height block they come from.
  static constexpr std::size_t block_at = (sizeof(TileHeights) + 63) / 64 * 64;
  static constexpr std::size_t slot_bytes = (block_at + demtiler::height_block_size + 63) / 64 * 64;
  static constexpr std::size_t tile_slots = 16;

  ArchiveReader& reader_;
  std::optional<Pipeline> pipeline_;
  TileHeights heights_;
};

}  // namespace

RasterSize fitted_size(std::uint32_t width, std::uint32_t height, const TileList& tiles) {
  RasterSize size{width, height};
  if (tiles.empty()) return size;
  const std::uint32_t last_ty = tiles.back().ty;  // scan order: the last row is the largest
  std::uint32_t last_tx = 0;
  for (const demtiler::TileRef& tile : tiles) last_tx = std::max(last_tx, tile.tx);
  if (width == 0) size.width = size_holding(last_tx);
  if (height == 0) size.height = size_holding(last_ty);
  return size;
}

void refuse_tiles_outside(const TileList& tiles, const RasterSize& size,
                          const std::string& raster_path) {
  constexpr std::uint64_t limit = std::numeric_limits<std::uint32_t>::max();
  const demtiler::TileCounts counts =
      demtiler::count_tiles(static_cast<std::uint32_t>(std::min(size.width, limit)),
                            static_cast<std::uint32_t>(std::min(size.height, limit)));
  for (const demtiler::TileRef& tile : tiles) {
    if (tile.tx < counts.across && tile.ty < counts.down && size.width <= limit &&
        size.height <= limit)
      continue;
    const std::uint64_t width = std::max(size.width, size_holding(tile.tx));
    const std::uint64_t height = std::max(size.height, size_holding(tile.ty));
    std::string words = "the archive's tile row " + std::to_string(tile.ty) + ", column " +
                        std::to_string(tile.tx) + " lies outside a raster of " +
                        size_words(size.width, size.height) + " samples";
    words += width <= limit && height <= limit
                 ? "; " + size_words(width, height) + " would hold it (0 x 0 fits every tile)"
                 : "; no raster of 32-bit width and height holds it";
    const std::string_view subject = raster_path.empty() ? "the standard output" : "raster";
    record_failure(code::too_many_tiles,
                   {Action::create, subject, raster_path, 0, std::move(words)});
    return;
  }
}

void print_map(const TileList& tiles, const demtiler::TileCounts& counts) {
  std::size_t i = 0;
  std::string line;
  for (std::uint32_t ty = 0; ty < counts.down; ++ty) {
    allocate_or_fail([&] { line.assign(counts.across, '-'); });
    for (; i < tiles.size() && tiles[i].ty == ty; ++i) line[tiles[i].tx] = '*';
    write_text(line);
    write_int(ty, 0);
    write_line_end();
    check_io();
  }
  write_line_end();
  check_io();
  write_int(static_cast<std::int64_t>(tiles.size()), 0);
  write_line_end();
  check_io();
}

RasterBands::RasterBands(std::uint32_t width)
    : width_(width),
      pages_(band_samples(width) * sizeof(std::uint32_t)),
      samples_(reinterpret_cast<std::uint32_t*>(pages_.data()), band_samples(width)) {}

void RasterBands::place_tile(const TileHeights& heights, std::uint32_t tx) {
  std::uint32_t* left = &samples_[std::size_t{tile_stride} * tx];
  for (std::uint32_t r = 0; r < tile_span; ++r)
    std::memcpy(left + std::size_t{r} * width_, &heights[r * tile_span],
                tile_span * sizeof(std::uint32_t));
}

void RasterBands::write_rows(RecordFile& raster, std::uint64_t rows) {
  write_block(raster, samples_.data(), rows * width_);
  check_io();
}

std::uint64_t RasterBands::write_raster(ArchiveReader& reader, RecordFile& raster,
                                        const demtiler::TileCounts& counts, std::uint32_t height) {
  // Which tiles of the row above and of this row are archived, with a free
  // place on either side so that tile 0 and the last tile have neighbours.
  std::vector<bool> above(std::size_t{counts.across} + 2), here(above.size());
  TilesInOrder tiles(reader);
  std::uint64_t differences = 0;
  std::size_t i = 0;
  for (std::uint32_t ty = 0; ty < counts.down; ++ty) {
    print_progress(ty);
    std::swap(above, here);
    std::fill(here.begin(), here.end(), false);
    for (; i < reader.tiles.size() && reader.tiles[i].ty == ty; ++i) {
      const std::uint32_t tx = reader.tiles[i].tx;
      const TileHeights& heights = tiles.take(i);
      const Neighbours around{here[tx], above[tx], above[tx + 1], above[tx + 2]};
      differences +=
          count_differences(heights, &samples_[std::size_t{tile_stride} * tx], width_, around);
      place_tile(heights, tx);
      here[tx + 1] = true;
    }
    if (ty + 1 == counts.down) {
      write_rows(raster, tile_span);
      break;
    }
    // The last 4 rows become the first of the next band, whose tiles then go over them.
    write_rows(raster, tile_stride);
    std::memmove(samples_.data(), &samples_[std::size_t{tile_stride} * width_],
                 std::size_t{shared_rows} * width_ * sizeof(std::uint32_t));
    std::fill(samples_.begin() + std::size_t{shared_rows} * width_,
              samples_.begin() + std::size_t{tile_span} * width_, 0u);
  }
  // The rows below the last tile row belong to no tile.
  std::uint64_t rows_left =
      height - (counts.down == 0 ? 0 : std::uint64_t{tile_stride} * counts.down + shared_rows);
  std::fill(samples_.begin(), samples_.end(), 0u);
  const std::uint64_t rows_per_write = width_ == 0 ? rows_left : samples_.size() / width_;
  while (width_ != 0 && rows_left > 0) {
    const std::uint64_t rows = std::min(rows_left, rows_per_write);
    write_rows(raster, rows);
    rows_left -= rows;
  }
  return differences;
}

}  // namespace demjoin
