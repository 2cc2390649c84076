// demscan: reads a TGA height image, as dempaint painted it or as a paint
// program saved it after retouching, back into a height raster.
#include <bit>
#include <cstdint>
#include <span>
#include <string>

#include "command_line.hpp"
#include "console.hpp"
#include "failure.hpp"
#include "input_checks.hpp"
#include "pixel_decoding.hpp"
#include "pixel_survey.hpp"
#include "record_file.hpp"
#include "row_batch.hpp"
#include "settings.hpp"
#include "soft_edges.hpp"
#include "stored_rows.hpp"
#include "tga_reader.hpp"
#include "two_pass.hpp"

namespace {

using namespace heightio;
using namespace demscan;

// What --help prints.
constexpr ProgramInfo program{"demscan", R"(Usage: demscan [--help | --version]

Reads a TGA height image, as dempaint painted it or as a paint program saved
it after retouching, back into a height raster of 32-bit float samples. A
pixel whose red byte is 255 (pure red) becomes an empty sample.

It takes no other arguments: it reads demscan.ini in the working directory,
one value per line, each line ending with CR or CR LF:
  1  the TGA image to read
  2  the height raster to write (an empty line writes it to the standard output)
  3  the decoding mode, of which only the low 16 bits count: 0 (or 65536)
     gives 256 x red + blue; any other value adds green - 127 to that

For example, from a shell:
  printf 'terrain.tga\r\nback.raw\r\n0\r\n' > demscan.ini
  demscan
)"};

static_assert(std::endian::native == std::endian::little,
              "raster rows are written straight from floats");

struct ScanSettings {
  std::string image_path;
  std::string raster_path;
  std::uint16_t mode;  // 0: plain decoding; any other value: green-offset decoding
};

ScanSettings read_settings() {
  ScanSettings settings;
  TextReader reader;
  open_text_input(reader, "demscan.ini");
  check_io();
  settings.image_path = read_path_setting(reader);
  check_io();
  settings.raster_path = read_path_setting(reader);
  check_io();
  settings.mode = static_cast<std::uint16_t>(read_int32_setting(reader));
  check_io();
  close_text(reader);
  check_io();
  warn_about_number_lines(reader, {"mode"});
  return settings;
}

// The stored row (counted from 1) written at place i, the picture row i
// counted from the top.
std::uint32_t stored_row_of(const TgaLayout& layout, std::uint32_t i) {
  return layout.top_row_first ? i + 1 : layout.height - i;
}

// Reading phase: every stored row, looked at for the soft edges of red fills.
// Each row number stands on a line of its own.
void read_stored_rows(StoredRows& rows, const TgaLayout& layout) {
  const std::size_t row_bytes = std::size_t{layout.width} * pixel_size;
  for (std::uint32_t r = 1; r <= layout.height; ++r) {
    const std::uint8_t* pixels = rows.read_row();
    check_io();
    survey_soft_edges({pixels, row_bytes}, r, layout.width, layout.height, layout.top_row_first,
                      rows.rows_kept());
    print_row_on_line(r);
  }
}

// Writing phase: each row decoded and surveyed where it lies, on the
// pipeline's second thread where it can be, and its survey added once it is
// sure to be written.
void write_raster_rows(RecordFile& raster, StoredRows& rows, const TgaLayout& layout,
                       std::uint16_t mode) {
  rows.start_writing_phase(layout.top_row_first ? Order::first_to_last : Order::last_to_first,
                           mode);
  write_rows(
      raster, std::size_t{layout.width} * sizeof(float), rows.rows_kept(), layout.height,
      [&](std::uint32_t) { return rows.reread_row(); },
      [&](std::uint32_t i) {
        survey_decoded_row(rows.survey(i), i);
        return stored_row_of(layout, i);
      });
}

void demscan_main() {
  // 1. Settings; a raster on the standard output moves the console text to
  //    the standard error, so the data stream holds the raster alone.
  const ScanSettings settings = read_settings();
  if (settings.raster_path.empty()) console_to_standard_error();

  // 2. The image, opened before the raster is created, so that an image that
  //    cannot be opened leaves an existing raster of that name alone.
  RecordFile image("image");
  open_existing(image, settings.image_path, 1);
  check_io();

  // 3. The raster. Creating it over the image would empty the image before
  //    it is read; the header, the layout it declares and whatever lies
  //    before the pixels are read first, so that an image that cannot be
  //    read leaves an existing raster of that name alone.
  RecordFile raster("raster");
  refuse_output_over_inputs(raster, settings.raster_path, {input_of(image)});
  check_io();
  PixelReader reader = start_pixel_data(image);
  create_file(raster, settings.raster_path, 1);
  check_io();

  // 4. Reading phase: every stored row as it is. Only an image that cannot be
  //    read a second time (a pipe, the standard input) is kept in memory.
  {
    StoredRows rows(reader);
    read_stored_rows(rows, reader.layout);
    print_phase_end();

    // 5. Writing phase: the raster rows, decoded and surveyed.
    write_raster_rows(raster, rows, reader.layout, settings.mode);
    print_phase_end();
  }

  // 6. Close and end.
  close_file(image);
  check_io();
  close_file(raster);
  check_io();
  finish_program();
}

}  // namespace

int main(int argc, char* argv[]) {
  heightio::answer_help_or_version(argc, argv, program);
  heightio::run_program(program.name, demscan_main);
}
