// demtiler: cuts a height raster into tiles, prints the map of occupied tiles
// and writes the GND tile archive.
#include <cstdint>
#include <string>

#include "archive.hpp"
#include "command_line.hpp"
#include "console.hpp"
#include "failure.hpp"
#include "input_checks.hpp"
#include "record_file.hpp"
#include "settings.hpp"
#include "tile_scan.hpp"

namespace {

using namespace heightio;
using namespace demtiler;

// What --help prints.
constexpr ProgramInfo program{"demtiler", R"(Usage: demtiler [--help | --version]

Cuts a height raster into tiles of 76 x 76 samples taken every 72 samples,
prints a map of the occupied tiles (*) and the empty ones (-), and writes a
GND tile archive of the tiles that hold a non-zero sample. The first 3800
bytes of the template file demtiler.dat in the working directory go into the
archive; a neutral one is installed as share/demtools/demtiler.dat.

It takes no other arguments: it reads demtiler.ini in the working directory,
one value per line, each line ending with CR or CR LF:
  1  the height raster to read: 32-bit little-endian float samples, row by row
  2  the archive to write (an empty line writes it to the standard output)
  3  the raster width in samples
  4  the raster height in rows

For example, from a shell:
  printf 'terrain.raw\r\nterrain.gnd\r\n1000\r\n700\r\n' > demtiler.ini
  demtiler
)"};

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
  warn_about_number_lines(reader, {"width", "height"});
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
  RecordFile raster("raster");
  open_existing(raster, settings.raster_path, sizeof(float));
  check_io();
  warn_about_raster_size(raster, settings.width, settings.height);
  const TileList tiles = scan_tiles(raster, counts, settings.width);
  print_occupied_count(tiles.size());

  // 4. Refusals before the archive is created, so that they leave an existing
  //    file untouched: an archive that would overwrite the raster or the
  //    template, and more tiles than one archive can address.
  RecordFile archive("archive");
  refuse_output_over_inputs(archive, settings.archive_path,
                            {input_of(raster), input_at("template", template_file_name)});
  check_io();
  refuse_too_many_tiles(tiles);
  check_io();

  // 5. The template block, then the archive, created only now, so that a
  //    failure of the scan or a missing or short template leaves an existing
  //    archive untouched.
  RecordFile template_file("template");
  open_existing(template_file, template_file_name, 1);
  check_io();
  const TemplateBlock template_block = read_template_block(template_file);
  create_file(archive, settings.archive_path, 1);
  check_io();

  // 6. Header and directory, then the template block, then an empty line.
  write_archive_header(archive, tiles);
  write_template_block(archive, template_block);
  write_line_end();
  check_io();

  // 7. The tiles, each read from the raster a second time.
  write_tiles(archive, raster, settings.width, tiles);

  // 8. Close the archive, the template and the raster, and end.
  close_file(archive);
  check_io();
  close_file(template_file);
  check_io();
  close_file(raster);
  check_io();
  finish_program();
}

}  // namespace

int main(int argc, char* argv[]) {
  heightio::answer_help_or_version(argc, argv, program);
  heightio::run_program(program.name, demtiler_main);
}
