// The run-time error codes of the tool chain, in one table: what each code
// means, and how an operating-system error number becomes one of them.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace heightio {

namespace code {
inline constexpr std::int32_t file_not_found = 2;
inline constexpr std::int32_t path_not_found = 3;
inline constexpr std::int32_t too_many_open_files = 4;
inline constexpr std::int32_t access_denied = 5;
inline constexpr std::int32_t bad_image_format = 13;
inline constexpr std::int32_t general_failure = 31;
inline constexpr std::int32_t sharing_violation = 32;
inline constexpr std::int32_t short_read = 100;
inline constexpr std::int32_t short_write = 101;
inline constexpr std::int32_t file_not_open = 103;
inline constexpr std::int32_t not_open_for_input = 104;
inline constexpr std::int32_t not_open_for_output = 105;
inline constexpr std::int32_t invalid_number = 106;
inline constexpr std::int32_t broken_pipe = 109;
inline constexpr std::int32_t disk_full = 112;
inline constexpr std::int32_t negative_seek = 131;
inline constexpr std::int32_t seek_on_pipe = 132;
inline constexpr std::int32_t input_changed = 154;
inline constexpr std::int32_t too_many_tiles = 201;
inline constexpr std::int32_t out_of_memory = 203;
inline constexpr std::int32_t invalid_float_operation = 207;
}  // namespace code

// What the layer was asking of the operating system when it refused; the
// same error number can mean different codes for different requests.
enum class OsRequest { open, read, write, seek, close };

// Maps an errno value to a run-time error code. `directory_missing` tells a
// missing file (2) from a missing directory on its path (3) for ENOENT.
std::int32_t code_for_os_error(int os_error, OsRequest request, bool directory_missing);

struct CodeText {
  std::int32_t code;
  std::string_view text;  // in plain words
  bool ends_a_program;    // false for a code that a later one always replaces
};

// Every run-time error code of the layer's own table, by number.
std::span<const CodeText> code_texts();

// One line in plain words for a run-time error code.
std::string_view describe_code(std::int32_t code);

}  // namespace heightio
