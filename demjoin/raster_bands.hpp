// The raster rebuilt from the archive's tiles, written in one pass from the
// first row to the last, a band of one tile row at a time.
//
// Tile row ty covers raster rows 72 ty ... 72 ty + 75, so neighbouring bands
// share 4 rows and neighbouring tiles of a band 4 columns. The tiles are
// placed in directory order, which is scan order, so on a shared sample the
// tile later in the directory wins; the band's last 4 rows are written only
// with the next band, after its tiles have been placed over them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "archive_reader.hpp"
#include "pipeline.hpp"
#include "record_file.hpp"
#include "tile_scan.hpp"

namespace demjoin {

struct RasterSize {
  std::uint64_t width;
  std::uint64_t height;
};

// The size the settings ask for; a width or height of 0 is "just large
// enough" for the archive's tiles, and stays 0 for an archive of none. A
// size that 32 bits cannot hold comes back as it is, for the caller to refuse.
RasterSize fitted_size(std::uint32_t width, std::uint32_t height, const demtiler::TileList& tiles);

// Records 201, with the tile and the size that would hold it in words, for
// the first tile that lies outside a width x height raster, or when a fitted
// size does not fit 32 bits. `raster_path` names the output in the words.
void refuse_tiles_outside(const demtiler::TileList& tiles, const RasterSize& size,
                          const std::string& raster_path);

// Prints the map of archived tiles ("*") and missing ones ("-"), a line per
// tile row ending with its number, as demtiler prints it for the same size;
// then an empty line and the number of tiles.
void print_map(const demtiler::TileList& tiles, const demtiler::TileCounts& counts);

class RasterBands {
 public:
  // Takes the memory of one band of the raster's width (203 when it cannot
  // be had), before anything is created.
  explicit RasterBands(std::uint32_t width);

  // Writes the whole raster: a progress line per tile row, then the tile
  // row's band; rows and columns outside every archived tile hold 0.0.
  // Returns how many times a tile put a different height on a sample that an
  // earlier neighbour had already set.
  std::uint64_t write_raster(ArchiveReader& reader, heightio::RecordFile& raster,
                             const demtiler::TileCounts& counts, std::uint32_t height);

 private:
  void place_tile(const TileHeights& heights, std::uint32_t tx);
  void write_rows(heightio::RecordFile& raster, std::uint64_t rows);

  std::uint32_t width_;
  heightio::Pages pages_;             // whole huge pages where the system gives them
  std::span<std::uint32_t> samples_;  // the band, as raw bits, row after row
};

}  // namespace demjoin
