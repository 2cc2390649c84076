#include "failure.hpp"

#include <new>
#include <optional>
#include <utility>

#include "console.hpp"
#include "diagnostic.hpp"
#include "error_codes.hpp"
#include "platform.hpp"
#include "warnings.hpp"

namespace heightio {
namespace {

thread_local std::int32_t pending_result = 0;

struct RecordedContext {
  std::int32_t code;
  FailureContext context;
};
thread_local std::optional<RecordedContext> last_context;

std::uint32_t location_of(const void* code_address) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(code_address) -
                                    platform::image_start());
}

}  // namespace

void record_failure(std::int32_t code) {
  pending_result = code;
  last_context.reset();
}

void record_failure(std::int32_t code, FailureContext context) {
  pending_result = code;
  last_context = RecordedContext{code, std::move(context)};
}

const FailureContext* failure_context(std::int32_t code) {
  return last_context && last_context->code == code ? &last_context->context : nullptr;
}

std::int32_t pending_io_result() {
  return pending_result;
}

// Not inlined, so that the return address names the call site of each check.
[[gnu::noinline]] void check_io() {
  if (pending_result == 0) [[likely]]
    return;
  const std::int32_t code = pending_result;
  pending_result = 0;
  throw IoError{code, location_of(__builtin_return_address(0))};
}

[[gnu::noinline]] void raise_at_call_site(std::int32_t code) {
  last_context.reset();
  throw IoError{code, location_of(__builtin_return_address(0))};
}

[[gnu::noinline]] void raise_at_call_site(std::int32_t code, FailureContext context) {
  last_context = RecordedContext{code, std::move(context)};
  throw IoError{code, location_of(__builtin_return_address(0))};
}

std::string format_run_error(std::int32_t code, std::uint32_t location) {
  std::string message = "Runtime error     at 00000000";
  // Digits are written from the right: the code's last digit at character 17
  // and the location's last at character 29 (both counted from 1).
  auto magnitude = static_cast<std::uint32_t>(code < 0 ? -static_cast<std::int64_t>(code) : code);
  std::size_t at = 16;
  do {
    message[at] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0 && at-- > 0);
  static constexpr char hex_digits[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < 8; ++i) message[28 - i] = hex_digits[(location >> (4 * i)) & 0xF];
  return message;
}

void run_error(std::int32_t code, std::uint32_t location) {
  // Put in words before the message is printed, since a failure to print it
  // records a failure of its own.
  const std::string plain_words = explain_failure(code, failure_context(code));
  write_text(format_run_error(code, location));
  write_line_end();
  flush_console();
  show_diagnostic(plain_words);
  write_warnings();
  platform::exit_process(code);
}

void finish_program() {
  flush_console();
  write_warnings();
  platform::exit_process(0);
}

[[gnu::noinline]] std::int64_t truncate_to_int64(double x) {
  // The range test is false for a NaN as well.
  if (!(x >= -0x1p63 && x < 0x1p63)) {
    last_context.reset();
    throw IoError{code::invalid_float_operation, location_of(__builtin_return_address(0))};
  }
  return static_cast<std::int64_t>(x);
}

[[gnu::noinline]] void run_program(std::string_view name, void (*main_flow)()) {
  set_program_name(name);
  platform::prepare_process();
  try {
    main_flow();
  } catch (const IoError& error) {
    run_error(error.code, error.location);
  } catch (const std::bad_alloc&) {
    // Allocations that depend on the input have their own location
    // (allocate_or_fail); any other one is located at the call of the program
    // as a whole.
    run_error(code::out_of_memory, location_of(__builtin_return_address(0)));
  }
  finish_program();
}

}  // namespace heightio
