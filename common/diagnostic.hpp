// The run-time error in plain words, for a person at a terminal:
//
//   dempaint: cannot open raster "terrain.raw": No such file or directory
//
// The numbered message on the console stays as it is; this line is added on
// the standard error, and only when that is a terminal, so that redirected
// output, files and exit statuses keep exactly their bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "failure.hpp"

namespace heightio {

// Set once when the program starts; it begins every line.
void set_program_name(std::string_view name);

// The line for a failure with `code`, from what it failed on when `context`
// is given, else from the code alone. Bytes of a path that would act on a
// terminal are shown escaped, and a path holding a line feed gets a word on
// the line ends of settings files.
std::string explain_failure(std::int32_t code, const FailureContext* context);

// Prints `line` and a line end on the standard error if that is a terminal.
void show_on_terminal(std::string_view line);

}  // namespace heightio
