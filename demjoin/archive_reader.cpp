#include "archive_reader.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "error_codes.hpp"
#include "failure.hpp"
#include "layouts.hpp"

namespace demjoin {
namespace {

using namespace heightio;
using demtiler::TileRef;

constexpr std::uint64_t tile_data_size =
    std::uint64_t{demtiler::height_block_size} + demtiler::texture_block_size;

std::uint32_t load_u32(const std::uint8_t* bytes) {
  return load_u16(bytes) | std::uint32_t{load_u16(bytes + 2)} << 16;
}

std::string tile_words(const TileRef& tile) {
  return "tile row " + std::to_string(tile.ty) + ", column " + std::to_string(tile.tx);
}

[[noreturn]] void reject_archive(const RecordFile& archive, std::string words) {
  const std::string_view subject = archive.standard_binding ? "the standard input" : "archive";
  raise_at_call_site(code::bad_image_format,
                     {Action::read, subject, archive.path, 0, std::move(words)});
}

void check_header(const RecordFile& archive, const std::uint8_t* header) {
  if (std::memcmp(header, "GND", 3) != 0)
    reject_archive(archive, "not a GND tile archive: it does not begin with the bytes GND");
  if (header[3] != archive_version)
    reject_archive(archive, "a GND tile archive of version " + std::to_string(header[3]) +
                                ", where only version 11 is read");
}

// Which rule directory entry i breaks, in words; empty when it keeps them all.
std::string entry_fault(const std::uint8_t* entry, std::uint64_t count, std::uint64_t i,
                        const TileRef* previous) {
  const TileRef tile{load_u32(entry), load_u32(entry + 4)};
  const auto place = [&] {
    return "directory entry " + std::to_string(i + 1) + " of " + std::to_string(count) + ", " +
           tile_words(tile);
  };
  if (previous != nullptr && previous->ty == tile.ty && previous->tx == tile.tx)
    return place() + ", repeats the entry before it";
  if (previous != nullptr &&
      (tile.ty < previous->ty || (tile.ty == previous->ty && tile.tx < previous->tx)))
    return place() + ", comes after " + tile_words(*previous) +
           ": the directory is not in scan order (tile row, then column, ascending)";
  const std::uint64_t height_at = height_block_offset(count, i);
  if (load_u32(entry + 8) != height_at ||
      load_u32(entry + 12) != height_at + demtiler::height_block_size)
    return place() + ", gives its blocks at bytes " + std::to_string(load_u32(entry + 8)) +
           " and " + std::to_string(load_u32(entry + 12)) + ", where the layout puts them at " +
           std::to_string(height_at) + " and " +
           std::to_string(height_at + demtiler::height_block_size);
  return {};
}

demtiler::TileList read_entries(const RecordFile& archive, const std::vector<std::uint8_t>& bytes,
                                std::uint32_t count) {
  demtiler::TileList tiles;
  allocate_or_fail([&] { tiles.reserve(count); });
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = &bytes[std::size_t{demtiler::directory_entry_size} * i];
    const std::string fault = entry_fault(entry, count, i, tiles.empty() ? nullptr : &tiles.back());
    if (!fault.empty()) reject_archive(archive, fault);
    tiles.push_back({load_u32(entry), load_u32(entry + 4)});
  }
  return tiles;
}

// Moves a stream that is read from start to end to byte `offset`, reading
// the bytes in between into the block buffer.
void skip_to(ArchiveReader& reader, std::uint64_t offset) {
  while (reader.at < offset) {
    const std::uint64_t piece = std::min<std::uint64_t>(offset - reader.at, reader.block.size());
    read_block(*reader.file, reader.block.data(), piece);
    check_io();
    reader.at += piece;
  }
}

}  // namespace

std::uint64_t height_block_offset(std::uint64_t tile_count, std::uint64_t i) {
  return demtiler::archive_header_size + demtiler::directory_entry_size * tile_count +
         demtiler::template_block_size + tile_data_size * i;
}

ArchiveReader read_directory(RecordFile& archive) {
  ArchiveReader reader;
  reader.file = &archive;
  reader.positioned = readable_again(archive);
  std::uint8_t header[demtiler::archive_header_size];
  read_block(archive, header, sizeof header);
  check_io();
  check_header(archive, header);
  // An archive lists no more tiles than its 32-bit block offsets can address,
  // which also bounds the memory the directory takes.
  const std::uint32_t count = load_u32(header + 4);
  if (count > demtiler::max_archive_tiles())
    reject_archive(archive, "the directory claims " + std::to_string(count) +
                                " tiles, more than the " +
                                std::to_string(demtiler::max_archive_tiles()) +
                                " whose blocks an archive can address");
  std::vector<std::uint8_t> entries(std::size_t{demtiler::directory_entry_size} * count);
  read_block(archive, entries.data(), entries.size());
  check_io();
  reader.tiles = read_entries(archive, entries, count);
  reader.at = sizeof header + entries.size();
  allocate_or_fail([&] { reader.block.resize(demtiler::texture_block_size); });
  return reader;
}

void read_to_archive_end(ArchiveReader& reader) {
  if (reader.positioned) return;
  const std::uint64_t end = height_block_offset(reader.tiles.size(), reader.tiles.size());
  while (reader.at < end) {
    const std::uint64_t piece = std::min<std::uint64_t>(end - reader.at, reader.block.size());
    const std::uint64_t got = read_available(*reader.file, reader.block.data(), piece);
    if (got == 0) return;
    reader.at += got;
  }
}

bool decode_height_block(const std::uint8_t* block, TileHeights& heights) {
  using demtiler::tile_span;
  const std::uint8_t* cell = block + 4;
  for (std::uint32_t k = 0; k < tile_span; ++k) {
    for (std::uint32_t r = 0; r < tile_span; ++r, cell += cell_size) {
      const std::uint32_t bits = load_u32(cell + 3);
      if (demtiler::is_signalling_nan(bits)) return false;
      heights[r * tile_span + k] = std::bit_cast<std::uint32_t>(std::bit_cast<float>(bits) * 10.0f);
    }
  }
  return true;
}

void read_tile_heights(ArchiveReader& reader, std::size_t i, TileHeights& heights) {
  if (reader.positioned) {
    record_job_failure(load_tile_heights(reader, i, reader.block.data(), heights));
    check_io();
    return;
  }
  skip_to(reader, height_block_offset(reader.tiles.size(), i));
  read_block(*reader.file, reader.block.data(), demtiler::height_block_size);
  check_io();
  reader.at += demtiler::height_block_size;
  if (!decode_height_block(reader.block.data(), heights))
    raise_at_call_site(code::invalid_float_operation);
}

JobResult load_tile_heights(const ArchiveReader& reader, std::size_t i, std::uint8_t* block,
                            TileHeights& heights) {
  std::size_t done = 0;
  const JobResult read = read_bytes_at(*reader.file, height_block_offset(reader.tiles.size(), i),
                                       block, demtiler::height_block_size, done);
  if (read.code != 0) return read;
  if (!decode_height_block(block, heights)) return {code::invalid_float_operation, 0};
  return {};
}

}  // namespace demjoin
