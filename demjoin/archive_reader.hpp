// Reading a GND tile archive back: the header and the tile directory, checked
// against the layout demtiler writes, and the height blocks in directory order.
//
// Everything in the archive is untrusted. The directory must list its tiles in
// scan order (tile row, then tile column, ascending), each once, with the block
// offsets that follow from its place in the list; so the height blocks lie in
// the file in the order a raster is written, and the archive can be read from
// start to end, from a pipe as well as from a file. The template block and the
// texture blocks are not read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive.hpp"
#include "record_file.hpp"
#include "tile_scan.hpp"

namespace demjoin {

inline constexpr std::uint8_t archive_version = 11;
inline constexpr std::uint32_t cell_size = 10;

// The height of each cell of one height block, times 10, as raster samples:
// row by row of the tile, where the block holds them column by column.
using TileHeights = demtiler::TileWindow;

// An archive opened for reading, with the tiles its directory lists.
struct ArchiveReader {
  heightio::RecordFile* file = nullptr;
  demtiler::TileList tiles;
  bool positioned = false;          // a regular file: each height block is read where it lies
  std::uint64_t at = 0;             // the next byte of a stream read from start to end
  std::vector<std::uint8_t> block;  // the height block being read
};

// Reads the header and the directory and checks them: a file that ends
// early fails with 100, anything else that does not follow the layout with
// 13 and words that say what and where.
ArchiveReader read_directory(heightio::RecordFile& archive);

// The byte at which the height block of directory entry i starts.
std::uint64_t height_block_offset(std::uint64_t tile_count, std::uint64_t i);

// Reads the height block of directory entry i, entries taken in order, and
// gives its heights; a block the file does not hold whole fails with 100, a
// height that is a signalling NaN, whose multiplication would be an invalid
// operation, with 207.
void read_tile_heights(ArchiveReader& reader, std::size_t i, TileHeights& heights);

// The same for a regular file, as a job that may run on either thread: reads
// the block where it lies into `block` and decodes it, recording nothing, and
// returns 0 or the failure read_tile_heights would raise.
heightio::JobResult load_tile_heights(const ArchiveReader& reader, std::size_t i,
                                      std::uint8_t* block, TileHeights& heights);

// Reads a stream on to the end of the archive's last texture block, as far
// as it goes, without failing: a program that writes the archive into a pipe
// then finishes its writes instead of finding its reader gone. Reading stops
// there, so that endless input cannot hold the program.
void read_to_archive_end(ArchiveReader& reader);

// Decodes one height block: false when a height is a signalling NaN.
bool decode_height_block(const std::uint8_t* block, TileHeights& heights);

}  // namespace demjoin
