// dempaint: paints a height raster into a 32-bit TGA image, one pixel per
// sample, so that the terrain can be looked at and retouched in a paint
// program and read back by demscan.
#include <bit>
#include <cstdint>
#include <span>
#include <string>

#include "command_line.hpp"
#include "console.hpp"
#include "failure.hpp"
#include "height_survey.hpp"
#include "input_checks.hpp"
#include "layouts.hpp"
#include "pixel_encoding.hpp"
#include "record_file.hpp"
#include "row_batch.hpp"
#include "settings.hpp"
#include "two_pass.hpp"

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
static_assert(sizeof(float) == pixel_size, "a raster row is painted where it lies");

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

void write_header(RecordFile& image, const PaintSettings& settings) {
  const TgaHeader header = make_tga_header(settings.width, settings.height);
  write_block(image, header.data(), header.size());
  check_io();
}

std::span<const float> samples_of(const std::uint8_t* row, std::size_t width) {
  return {reinterpret_cast<const float*>(row), width};
}

// Reads every raster row in file order and checks that each sample can be
// painted, so that a bad sample fails here, before any pixel is written.
void read_raster_rows(TwoPassRows& rows, const PaintSettings& settings) {
  for (std::uint32_t r = 1; r <= settings.height; ++r) {
    const std::uint8_t* row = rows.read_row();
    check_io();
    const std::span<const float> samples = samples_of(row, settings.width);
    if (!all_come_back(samples)) {
      check_encodable(samples, r - 1);
      survey_heights(samples);
    }
    print_row_in_place(r);
  }
}

// A TGA image declared bottom row first starts with the raster's last row, so
// the raster's first row becomes the top of the picture. Each row is painted
// where it lies, on the pipeline's second thread where it can be, and rows go
// out several at a time.
void write_rows_bottom_up(RecordFile& image, TwoPassRows& rows, const PaintSettings& settings) {
  const std::size_t row_bytes = std::size_t{settings.width} * pixel_size;
  rows.start_writing_phase(Order::last_to_first, [row_bytes](std::uint8_t* row, std::uint32_t) {
    return paint_row({row, row_bytes});
  });
  write_rows(
      image, row_bytes, rows.rows_kept(), settings.height,
      [&](std::uint32_t) { return rows.reread_row(); },
      [&](std::uint32_t i) { return settings.height - i; });
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

  // 5. Reading phase: every raster row, checked. Only a raster that cannot be
  //    read a second time (a pipe, the standard input) is kept in memory.
  {
    TwoPassRows rows(raster, {0, std::size_t{settings.width} * sizeof(float), settings.height});
    read_raster_rows(rows, settings);
    print_phase_end();

    // 6. Writing phase: the rows from the last to the first, encoded.
    write_rows_bottom_up(image, rows, settings);
    print_phase_end();
  }

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
