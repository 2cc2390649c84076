// The GND tile archive: magic "GND", version 11, the tile count, a directory
// of 16-byte entries, a 3800-byte block copied from the template file
// "demtiler.dat", then per occupied tile a 57764-byte height block and a
// 65554-byte blank texture block. All numbers are little-endian.
#pragma once

#include <cstdint>
#include <string>

#include "record_file.hpp"
#include "tile_scan.hpp"

namespace demtiler {

inline constexpr char template_file_name[] = "demtiler.dat";
inline constexpr std::uint32_t template_block_size = 3800;
inline constexpr std::uint32_t archive_header_size = 8;
inline constexpr std::uint32_t directory_entry_size = 16;
inline constexpr std::uint32_t height_block_size = 4 + tile_span * tile_span * 10;
inline constexpr std::uint32_t texture_block_size = 18 + 128 * 128 * 4;

// The directory's 32-bit offsets can address the blocks of at most this many tiles.
std::uint32_t max_archive_tiles();

// Ends the run with 32 when the archive path names the raster or the template,
// and with 201 when the tiles are too many for one archive, before anything is
// created, so that an existing file is left untouched.
void check_archive_can_be_written(const heightio::RecordFile& raster,
                                  const std::string& archive_path, const TileList& tiles);

// Writes the whole archive, with a progress line per tile, and closes the
// archive, the template and the raster in that order.
void write_archive(const std::string& archive_path, heightio::RecordFile& raster,
                   std::uint32_t width, const TileList& tiles);

}  // namespace demtiler
