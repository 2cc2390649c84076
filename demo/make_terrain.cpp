// make_terrain: writes a sample height raster, a few islands in a sea of
// empty samples, for the demo and the benchmark.
//
//   make_terrain WIDTH HEIGHT OUTPUT
//
// Heights are whole numbers from 0 to 65279, so they survive the round trip
// through a height image unchanged; the sea is the empty sample (all-zero bits).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "console.hpp"
#include "failure.hpp"
#include "record_file.hpp"

namespace {

using namespace heightio;

struct Island {
  double x, y;    // centre, as a fraction of the raster's width and height
  double radius;  // as a fraction of the smaller side
  double peak;
};

constexpr Island islands[] = {
    {0.30, 0.40, 0.22, 3200.0},
    {0.68, 0.58, 0.16, 2100.0},
    {0.52, 0.18, 0.06, 900.0},
};

// A gentle ripple, so that the coast is not a perfect circle.
double ripple(double x, double y) {
  return 0.12 * std::sin(x * 9.1) * std::cos(y * 7.3);
}

float height_at(std::uint32_t column, std::uint32_t row, std::uint32_t width,
                std::uint32_t height) {
  const double x = (column + 0.5) / width;
  const double y = (row + 0.5) / height;
  const double scale = std::min(width, height);
  double land = 0.0;
  for (const Island& island : islands) {
    const double dx = (x - island.x) * width / scale;
    const double dy = (y - island.y) * height / scale;
    const double d = std::sqrt(dx * dx + dy * dy) / island.radius + ripple(x, y);
    if (d < 1.0) land = std::max(land, island.peak * (1.0 - d * d));
  }
  return static_cast<float>(std::floor(std::min(land, 65279.0)));
}

int fail_usage() {
  write_text("usage: make_terrain WIDTH HEIGHT OUTPUT");
  write_line_end();
  flush_console();
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return fail_usage();
  const auto width = static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10));
  const auto height = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
  if (width == 0 || height == 0) return fail_usage();

  RecordFile raster;
  create_file(raster, argv[3], sizeof(float));
  std::vector<float> row(width);
  for (std::uint32_t y = 0; y < height && pending_io_result() == 0; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) row[x] = height_at(x, y, width, height);
    write_block(raster, row.data(), width);
  }
  close_file(raster);
  if (const std::int32_t code = pending_io_result(); code != 0) run_error(code, 0);
  return 0;
}
