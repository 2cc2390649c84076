// The run-time error in plain words, for a person at a terminal:
//
//   dempaint: cannot open raster "terrain.raw": No such file or directory
//
// The numbered message on the console stays as it is; this line is added on
// the standard error, and only when diagnostics are wanted, so that
// redirected output, files and exit statuses keep exactly their bytes.
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

// "dempaint: warning: " and the text.
std::string explain_warning(std::string_view text);

// Text from outside (a path, an argument) as it may be shown on a terminal:
// bytes that would act on it escaped, and cut after 200 bytes.
std::string shown_safely(std::string_view text);

// The name of the environment variable that asks for diagnostics when the
// standard error is not a terminal, for scripts and CI logs; its value is 1.
inline constexpr const char* diagnostics_variable = "DEMTOOLS_DIAGNOSTICS";

// Whether the standard error is a terminal, or DEMTOOLS_DIAGNOSTICS=1 asks
// for the diagnostics there.
bool diagnostics_wanted();

// Prints `line` and a line end on the standard error if diagnostics are wanted.
void show_diagnostic(std::string_view line);

}  // namespace heightio
