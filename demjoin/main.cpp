// demjoin: reads a GND tile archive back into the height raster it was cut
// from, so that a terrain kept only as an archive can be edited again.
#include <cstdint>
#include <string>

#include "archive_reader.hpp"
#include "command_line.hpp"
#include "console.hpp"
#include "failure.hpp"
#include "input_checks.hpp"
#include "raster_bands.hpp"
#include "record_file.hpp"
#include "settings.hpp"
#include "tile_scan.hpp"
#include "warnings.hpp"

namespace {

using namespace heightio;
using namespace demjoin;

// What --help prints.
constexpr ProgramInfo program{"demjoin", R"(Usage: demjoin [--help | --version]

Reads a GND tile archive and writes the height raster it holds: each sample
of an archived tile becomes its cell's height times 10, every other sample
0.0. It prints the tile counts and a map of the archived tiles (*) and the
missing ones (-), as demtiler printed them for the same size.

It takes no other arguments: it reads demjoin.ini in the working directory,
one value per line, each line ending with CR or CR LF:
  1  the archive to read (an empty line reads it from the standard input)
  2  the height raster to write (an empty line writes it to the standard output)
  3  the raster width in samples, 0 for just wide enough for the tiles
  4  the raster height in rows, 0 for just high enough for the tiles

For example, from a shell:
  printf 'terrain.gnd\r\nterrain.raw\r\n1000\r\n700\r\n' > demjoin.ini
  demjoin
)"};

struct JoinSettings {
  std::string archive_path;
  std::string raster_path;
  std::uint32_t width;  // the low 32 bits of the number, as in demtiler
  std::uint32_t height;
};

JoinSettings read_settings() {
  JoinSettings settings;
  TextReader reader;
  open_text_input(reader, "demjoin.ini");
  check_io();
  settings.archive_path = read_path_setting(reader);
  check_io();
  settings.raster_path = read_path_setting(reader);
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

void warn_about_differences(std::uint64_t differences) {
  if (differences == 0) return;
  add_warning(std::to_string(differences) + (differences == 1 ? " time" : " times") +
              " a tile held a different height on a sample it shares with a neighbour "
              "earlier in the directory; the later tile's height was kept");
}

void demjoin_main() {
  // 1. Settings; a raster on the standard output moves the console text to
  //    the standard error, so the data stream holds the raster alone.
  const JoinSettings settings = read_settings();
  if (settings.raster_path.empty()) console_to_standard_error();

  // 2. The archive's header and directory, all checked before anything is
  //    created, so that a file that is not such an archive leaves an existing
  //    raster alone.
  RecordFile archive("archive");
  open_existing(archive, settings.archive_path, 1);
  check_io();
  ArchiveReader reader = read_directory(archive);

  // 3. The raster's size and tile counts; every tile must lie inside it.
  const RasterSize size = fitted_size(settings.width, settings.height, reader.tiles);
  refuse_tiles_outside(reader.tiles, size, settings.raster_path);
  check_io();
  const auto width = static_cast<std::uint32_t>(size.width);
  const auto height = static_cast<std::uint32_t>(size.height);
  const demtiler::TileCounts counts = demtiler::count_tiles(width, height);
  print_count_line("x-", counts.across);
  print_count_line("y-", counts.down);

  // 4. The map of the archived tiles, then their number.
  print_map(reader.tiles, counts);

  // 5. Refusals and the band's memory, then the raster, created only now.
  RecordFile raster("raster");
  refuse_output_over_inputs(raster, settings.raster_path, {input_of(archive)});
  check_io();
  RasterBands bands(width);
  create_file(raster, settings.raster_path, sizeof(float));
  check_io();
  write_line_end();
  check_io();

  // 6. The raster, band by band, each tile row's height blocks read in turn.
  warn_about_differences(bands.write_raster(reader, raster, counts, height));

  // 7. The rest of an archive that comes through a pipe, so that the program
  //    writing it ends well; then close the raster and the archive, and end.
  read_to_archive_end(reader);
  close_file(raster);
  check_io();
  close_file(archive);
  check_io();
  finish_program();
}

}  // namespace

int main(int argc, char* argv[]) {
  heightio::answer_help_or_version(argc, argv, program);
  heightio::run_program(program.name, demjoin_main);
}
