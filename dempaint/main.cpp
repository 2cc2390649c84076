// dempaint: paints a height raster into a 32-bit TGA image, one pixel per
// sample, so that the terrain can be looked at and retouched in a paint
// program and read back by demscan.
#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "command_line.hpp"
#include "console.hpp"
#include "failure.hpp"
#include "height_survey.hpp"
#include "input_checks.hpp"
#include "layouts.hpp"
#include "pixel_encoding.hpp"
#include "record_file.hpp"
#include "row_store.hpp"
#include "settings.hpp"

namespace {

using namespace heightio;
using namespace dempaint;

// What --help prints.
constexpr ProgramInfo program{"dempaint", R"(Usage: dempaint [--help | --version]

Paints a height raster into a 32-bit TGA image, one pixel per sample, so that
the terrain can be looked at and retouched in a paint program; demscan reads
the image back. The raster's first row becomes the top of the picture.

It takes no other arguments: it reads dempaint.ini in the working directory,
one value per line, each line ending with CR or CR LF:
  1  the height raster to read: 32-bit little-endian float samples, row by row
  2  the TGA image to write (an empty line writes it to the standard output)
  3  the width in samples
  4  the height in rows

For example, from a shell:
  printf 'terrain.raw\r\nterrain.tga\r\n1000\r\n700\r\n' > dempaint.ini
  dempaint
)"};

static_assert(std::endian::native == std::endian::little,
              "raster rows are read straight into floats");

struct PaintSettings {
  std::string raster_path;
  std::string image_path;
  std::uint16_t width;  // the low 16 bits of the number: a TGA size field holds no more
  std::uint16_t height;
};

PaintSettings read_settings() {
  PaintSettings settings;
  TextReader reader;
  open_text_input(reader, "dempaint.ini");
  check_io();
  settings.raster_path = read_path_setting(reader);
  check_io();
  settings.image_path = read_path_setting(reader);
  check_io();
  settings.width = static_cast<std::uint16_t>(read_int32_setting(reader));
  check_io();
  settings.height = static_cast<std::uint16_t>(read_int32_setting(reader));
  check_io();
  close_text(reader);
  check_io();
  warn_about_number_lines(reader, {"width", "height"});
  return settings;
}

// A row number that the next one overwrites on a terminal.
void print_row_number(std::uint32_t r) {
  write_int(r, 0);
  write_char('\r');
  end_write();
  check_io();
}

void print_phase_end() {
  write_line_end();
  check_io();
  write_line_end();
  check_io();
}

void write_header(RecordFile& image, const PaintSettings& settings) {
  const TgaHeader header = make_tga_header(settings.width, settings.height);
  write_block(image, header.data(), header.size());
  check_io();
}

// Reads every raster row in file order and keeps it encoded. Nothing but the
// header is written before the whole raster has been read.
RowStore read_encoded_rows(RecordFile& raster, const PaintSettings& settings) {
  const std::size_t width = settings.width;
  const std::size_t row_bytes = width * pixel_size;
  std::vector<float> samples(width);
  RowStore store(row_bytes);
  for (std::uint32_t r = 1; r <= settings.height; ++r) {
    read_block(raster, samples.data(), width * sizeof(float));
    check_io();
    encode_height_row(samples, {store.add_row(), row_bytes});
    survey_heights(samples);
    print_row_number(r);
  }
  return store;
}

// A TGA image declared bottom row first starts with the raster's last row, so
// the raster's first row becomes the top of the picture.
void write_rows_bottom_up(RecordFile& image, const RowStore& store, std::size_t width) {
  for (std::uint32_t r = static_cast<std::uint32_t>(store.rows()); r >= 1; --r) {
    write_block(image, store.row(r - 1), width * pixel_size);
    check_io();
    print_row_number(r);
  }
}

void dempaint_main() {
  // 1. Settings; an image on the standard output moves the console text to
  //    the standard error, so the data stream holds the image alone.
  const PaintSettings settings = read_settings();
  if (settings.image_path.empty()) console_to_standard_error();

  // 2. The raster, opened before the image is created, so that a raster that
  //    cannot be opened leaves an existing image of that name alone.
  RecordFile raster("raster");
  open_existing(raster, settings.raster_path, 1);
  check_io();
  warn_about_raster_size(raster, settings.width, settings.height);

  // 3. The image. Creating it over the raster would empty the raster before
  //    it is read.
  RecordFile image("image");
  refuse_output_over_inputs(image, settings.image_path, {input_of(raster)});
  check_io();
  create_file(image, settings.image_path, 1);
  check_io();

  // 4. The header.
  write_header(image, settings);

  // 5. Reading phase: every raster row, encoded.
  const RowStore store = read_encoded_rows(raster, settings);
  print_phase_end();

  // 6. Writing phase: the rows from the last to the first.
  write_rows_bottom_up(image, store, settings.width);
  print_phase_end();

  // 7. Close and end.
  close_file(raster);
  check_io();
  close_file(image);
  check_io();
  finish_program();
}

}  // namespace

int main(int argc, char* argv[]) {
  heightio::answer_help_or_version(argc, argv, program);
  heightio::run_program(program.name, dempaint_main);
}
