// demtiler: cuts a height raster into tiles, prints the map of occupied tiles
// and writes the GND tile archive.
#include <cstdint>
#include <string>

#include "archive.hpp"
#include "console.hpp"
#include "failure.hpp"
#include "record_file.hpp"
#include "settings.hpp"
#include "tile_scan.hpp"

namespace {

using namespace heightio;
using namespace demtiler;

struct TilerSettings {
  std::string raster_path;
  std::string archive_path;
  std::uint32_t width;  // the low 32 bits of the number, as the format's tile indices are
  std::uint32_t height;
};

TilerSettings read_settings() {
  TilerSettings settings;
  TextReader reader;
  open_text_input(reader, "demtiler.ini");
  check_io();
  settings.raster_path = read_path_setting(reader);
  check_io();
  settings.archive_path = read_path_setting(reader);
  check_io();
  settings.width = static_cast<std::uint32_t>(read_int64_setting(reader));
  check_io();
  settings.height = static_cast<std::uint32_t>(read_int64_setting(reader));
  check_io();
  close_text(reader);
  check_io();
  return settings;
}

void print_count_line(const char* label, std::uint32_t count) {
  write_text(label);
  write_int(count, 0);
  write_line_end();
  check_io();
}

void print_occupied_count(std::size_t count) {
  write_line_end();
  check_io();
  write_int(static_cast<std::int64_t>(count), 0);
  write_line_end();
  check_io();
}

void demtiler_main() {
  // 1. Settings; an archive on the standard output moves the console text to
  //    the standard error, so the data stream holds the archive alone.
  const TilerSettings settings = read_settings();
  if (settings.archive_path.empty()) console_to_standard_error();

  // 2. Tile counts.
  const TileCounts counts = count_tiles(settings.width, settings.height);
  print_count_line("x-", counts.across);
  print_count_line("y-", counts.down);

  // 3. The map of occupied tiles.
  RecordFile raster;
  open_existing(raster, settings.raster_path, sizeof(float));
  check_io();
  const TileList tiles = scan_tiles(raster, counts, settings.width);
  print_occupied_count(tiles.size());

  // 4. The archive, created only now, so that a failure of the scan leaves an
  //    existing archive untouched.
  check_archive_can_be_written(raster, settings.archive_path, tiles);
  write_archive(settings.archive_path, raster, settings.width, tiles);
  finish_program();
}

}  // namespace

int main() {
  heightio::run_program(demtiler_main);
}
