// The pending I/O result and the one way a program ends on a failure.
//
// No operation of the layer stops the program by itself: it records a code in
// the pending I/O result and returns. The program calls check_io() after every
// step; a non-zero result becomes an IoError, and run_program() turns that into
// the run-time error message and the exit status.
#pragma once

#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "error_codes.hpp"

namespace heightio {

struct IoError {
  std::int32_t code;
  std::uint32_t location;  // where the failed check sits in the program's code
};

// What a failed step was asking for, kept beside the pending result so that a
// person at a terminal can be told in plain words (diagnostic.hpp).
enum class Action { open, create, read, read_number, write, seek, close, convert };

struct FailureContext {
  Action action = Action::open;
  std::string_view subject;  // what the file is to the program: "raster", "settings file"...
  std::string path;          // empty for a standard stream, whose name is the subject
  int os_error = 0;          // the operating system's error number; 0 for the layer's own codes
  // The layer's own words: instead of the code's where they say more, or after
  // the operating system's reason, in parentheses, where they add to it.
  std::string detail;
};

// Stores a failure code, overwriting any earlier one and what it failed on.
void record_failure(std::int32_t code);
void record_failure(std::int32_t code, FailureContext context);

// What the last failure recorded was asking for, when it was recorded with a
// context and with this code; nullptr otherwise.
const FailureContext* failure_context(std::int32_t code);

std::int32_t pending_io_result();

// Raises the pending result as an IoError located at the caller's call site.
// The result is taken out of the pending slot as it is raised.
void check_io();

// Raises an IoError at the caller's call site for a failure found outside the
// layer's operations.
[[noreturn]] void raise_at_call_site(std::int32_t code);
// The same, with what the failed step was asking for.
[[noreturn]] void raise_at_call_site(std::int32_t code, FailureContext context);

// Runs `allocation`; memory that cannot be had ends the program with 203,
// located at the allocation site that called this, like every other check.
template <typename Allocation>
decltype(auto) allocate_or_fail(Allocation&& allocation) {
  try {
    return std::forward<Allocation>(allocation)();
  } catch (const std::bad_alloc&) {
    raise_at_call_site(code::out_of_memory);
  }
}

// The 29-character message "Runtime error ccc at LLLLLLLL".
std::string format_run_error(std::int32_t code, std::uint32_t location);

// Prints the message after all earlier console text, adds the failure in plain
// words and the warnings (diagnostic.hpp, warnings.hpp), and ends with `code`.
[[noreturn]] void run_error(std::int32_t code, std::uint32_t location);

// The normal end: flushes the console, writes the warnings and ends with exit
// status 0.
[[noreturn]] void finish_program();

// Truncates toward zero; a value with no 64-bit integer (NaN, infinity, out of
// range) ends the program with 207 located at the conversion.
std::int64_t truncate_to_int64(double x);

// Runs the main flow of the program called `name`, which ends with
// finish_program(); an IoError escaping it ends the program through run_error.
[[noreturn]] void run_program(std::string_view name, void (*main_flow)());

}  // namespace heightio
