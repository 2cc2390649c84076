// The GND tile archive: magic "GND", version 11, the tile count, a directory
// of 16-byte entries, a 3800-byte block copied from the template file
// "demtiler.dat", then per occupied tile a 57764-byte height block and a
// 65554-byte blank texture block. All numbers are little-endian.
#pragma once

#include <array>
#include <cstdint>

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

// Records 201 when the tiles are more than one archive can address.
void refuse_too_many_tiles(const TileList& tiles);

// Magic, version, tile count and the directory, in one write.
void write_archive_header(heightio::RecordFile& archive, const TileList& tiles);

// The first 3800 bytes of the template file, which go into the archive
// unchanged. They are read before the archive is created, so that a missing
// or short template leaves an existing archive alone.
using TemplateBlock = std::array<std::uint8_t, template_block_size>;
TemplateBlock read_template_block(heightio::RecordFile& template_file);
void write_template_block(heightio::RecordFile& archive, const TemplateBlock& block);

// Per tile a progress line, its height block and the blank texture block,
// with the samples read from the raster a second time. A tile whose window
// differs from the one the map pass read fails with 154.
void write_tiles(heightio::RecordFile& archive, const heightio::RecordFile& raster,
                 std::uint32_t width, const TileList& tiles);

// Whether the bits of a 32-bit float are a signalling NaN: all exponent bits
// set, the quiet bit (22) clear and a non-zero mantissa. Any arithmetic on
// one, the archive's division by 10 or its reading back's multiplication, is
// an invalid operation.
inline bool is_signalling_nan(std::uint32_t bits) {
  return (bits & 0x7F800000u) == 0x7F800000u && (bits & 0x00400000u) == 0 &&
         (bits & 0x003FFFFFu) != 0;
}

}  // namespace demtiler
