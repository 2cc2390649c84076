// The pending I/O result and the one way a program ends on a failure.
//
// No operation of the layer stops the program by itself: it records a code in
// the pending I/O result and returns. The program calls check_io() after every
// step; a non-zero result becomes an IoError, and run_program() turns that into
// the run-time error message and the exit status.
#pragma once

#include <cstdint>
#include <string>

namespace heightio {

struct IoError {
  std::int32_t code;
  std::uint32_t location;  // where the failed check sits in the program's code
};

// Stores a failure code, overwriting any earlier one.
void record_failure(std::int32_t code);

std::int32_t pending_io_result();

// Raises the pending result as an IoError located at the caller's call site.
// The result is taken out of the pending slot as it is raised.
void check_io();

// Raises an IoError at the caller's call site for a failure found outside the
// layer's operations.
[[noreturn]] void raise_at_call_site(std::int32_t code);

// The 29-character message "Runtime error ccc at LLLLLLLL".
std::string format_run_error(std::int32_t code, std::uint32_t location);

// Prints the message after all earlier console text and ends with `code`.
[[noreturn]] void run_error(std::int32_t code, std::uint32_t location);

// The normal end: flushes the console and ends with exit status 0.
[[noreturn]] void finish_program();

// Truncates toward zero; a value with no 64-bit integer (NaN, infinity, out of
// range) ends the program with 207 located at the conversion.
std::int64_t truncate_to_int64(double x);

// Runs a program's main flow, which ends with finish_program(); an IoError
// escaping it ends the program through run_error.
[[noreturn]] void run_program(void (*main_flow)());

}  // namespace heightio
