// Checks of the settings against what they describe: each adds a warning
// (warnings.hpp) when the numbers read are likely not the ones meant. None of
// them changes what the program does.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "record_file.hpp"
#include "settings.hpp"

namespace heightio {

// A warning for each number line of `reader` that was missing (the number
// reads as 0) or held a lone LF (the rest of it, next lines included, was
// skipped); `names` names the number lines in the order they were read.
void warn_about_number_lines(const TextReader& reader,
                             std::initializer_list<std::string_view> names);

// A missing line blames the line ends only when the file held a lone LF.
std::string number_line_warning(const NumberLine& line, std::string_view name,
                                std::string_view settings_file, bool file_held_line_feed);

// A warning when the raster, a regular file, is not 4 x width x height bytes.
void warn_about_raster_size(const RecordFile& raster, std::uint64_t width, std::uint64_t height);

// The words for a raster of `bytes` bytes read as width x height samples;
// empty when they fit. A width near the given one that uses every sample is
// named, since a width one off shears the whole picture.
std::string raster_size_warning(std::string_view path, std::uint64_t bytes, std::uint64_t width,
                                std::uint64_t height);

}  // namespace heightio
