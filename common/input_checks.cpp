#include "input_checks.hpp"

#include <optional>

#include "diagnostic.hpp"
#include "layouts.hpp"
#include "platform.hpp"
#include "warnings.hpp"

namespace heightio {
namespace {

constexpr std::string_view line_end_rule =
    "settings lines must end with CR or CR LF, and a lone LF does not end a line";

// How far from the given width a width that fits the raster is still named.
constexpr std::uint64_t nearby_widths = 8;

std::uint64_t distance(std::uint64_t a, std::uint64_t b) {
  return a > b ? a - b : b - a;
}

// A width x height near the given one that uses every sample: first the
// height kept with a nearby width, then the width kept with another height,
// then any nearby width. Widths and heights of 1 fit anything and say nothing.
std::optional<std::uint64_t> width_that_fits(std::uint64_t samples, std::uint64_t width,
                                             std::uint64_t height) {
  const auto fits = [samples](std::uint64_t w) {
    return w >= 2 && samples % w == 0 && samples / w >= 2;
  };
  if (height >= 2 && samples % height == 0 && fits(samples / height) &&
      distance(samples / height, width) <= nearby_widths)
    return samples / height;
  if (fits(width)) return width;
  for (std::uint64_t d = 1; d <= nearby_widths; ++d) {
    if (width > d && fits(width - d)) return width - d;
    if (fits(width + d)) return width + d;
  }
  return std::nullopt;
}

std::string quoted(std::string_view path) {
  return path.empty() ? "from the standard input" : "\"" + shown_safely(path) + "\"";
}

}  // namespace

std::string number_line_warning(const NumberLine& line, std::string_view name,
                                std::string_view settings_file, bool file_held_line_feed) {
  const std::string file = shown_safely(settings_file);
  const std::string subject(name);
  // Lines that end with CR or CR LF throughout are right: the line is not there.
  if (line.missing)
    return file + " has no " + subject + " line, so the " + subject + " is 0: " +
           (file_held_line_feed ? std::string(line_end_rule) : "the file ends before it");
  if (line.held_line_feed)
    return "the " + subject + " " + std::to_string(line.value) + " comes from a line of " + file +
           " that holds a lone LF, and the rest of that line was skipped: " +
           std::string(line_end_rule);
  return {};
}

void warn_about_number_lines(const TextReader& reader,
                             std::initializer_list<std::string_view> names) {
  std::size_t i = 0;
  for (const std::string_view name : names) {
    if (i >= reader.number_lines.size()) return;
    std::string text =
        number_line_warning(reader.number_lines[i++], name, reader.path, reader.held_line_feed);
    if (!text.empty()) add_warning(std::move(text));
  }
}

std::string raster_size_warning(std::string_view path, std::uint64_t bytes, std::uint64_t width,
                                std::uint64_t height) {
  // Each factor is below 2^32, so the product fits.
  const std::uint64_t asked = width * height;
  const std::string settings = "the settings ask for " + std::to_string(width) + " x " +
                               std::to_string(height) + " = " + std::to_string(asked);
  if (bytes % sample_size != 0)
    return "the raster " + quoted(path) + " is " + std::to_string(bytes) +
           " bytes, not a whole number of 4-byte samples; " + settings;
  const std::uint64_t samples = bytes / sample_size;
  if (samples == asked) return {};
  std::string text = "the raster " + quoted(path) + " holds " + std::to_string(samples) +
                     (samples == 1 ? " sample, " : " samples, ") + settings;
  // numpy's default float and GDAL's -ot Float64 give 8 bytes a sample.
  if (asked != 0 && samples == 2 * asked)
    return text + "; it is 8 x " + std::to_string(width) + " x " + std::to_string(height) +
           " bytes, so it looks like 64-bit samples: write 32-bit ones (gdal_translate -ot "
           "Float32, numpy astype('<f4'))";
  if (const std::optional<std::uint64_t> fit = width_that_fits(samples, width, height))
    text += "; " + std::to_string(*fit) + " x " + std::to_string(samples / *fit) +
            " would use it exactly";
  return text;
}

void warn_about_raster_size(const RecordFile& raster, std::uint64_t width, std::uint64_t height) {
  std::uint64_t bytes = 0;
  if (!raster.is_open || !platform::regular_file_size(raster.handle, bytes)) return;
  std::string text = raster_size_warning(raster.path, bytes, width, height);
  if (!text.empty()) add_warning(std::move(text));
}

}  // namespace heightio
