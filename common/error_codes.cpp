#include "error_codes.hpp"

#include <array>
#include <cerrno>

namespace heightio {
namespace {

// The README and the user guide document the codes that end a program in
// these words, and a test holds them to it. 104 and 105 are recorded but never
// end a program: every settings read follows an open that succeeded, and a
// console write that fails with 105 is part of a print step whose closing
// flush then fails with 103, which takes its place.
constexpr std::array table{
    CodeText{code::file_not_found, "file not found", true},
    CodeText{code::path_not_found, "path not found (a directory of the path is missing)", true},
    CodeText{code::too_many_open_files, "too many open files", true},
    CodeText{code::access_denied, "access denied (no permission, a directory, or read-only media)",
             true},
    CodeText{code::bad_image_format, "image layout not supported", true},
    CodeText{code::general_failure, "the operating system refused the request", true},
    CodeText{code::sharing_violation, "file in use, or an output that would overwrite an input",
             true},
    CodeText{code::short_read, "read beyond the end of the file", true},
    CodeText{code::short_write, "short write, or an I/O error while writing", true},
    CodeText{code::file_not_open, "file not open, or no usable standard output", true},
    CodeText{code::not_open_for_input, "settings file not open for input", false},
    CodeText{code::not_open_for_output, "no usable standard output", false},
    CodeText{code::invalid_number, "invalid number in a settings file", true},
    CodeText{code::broken_pipe, "broken pipe: the reader of the output has gone", true},
    CodeText{code::disk_full, "disk full or file too large", true},
    CodeText{code::negative_seek, "position out of range", true},
    CodeText{code::seek_on_pipe, "a pipe or terminal cannot be positioned", true},
    CodeText{code::input_changed, "the input changed while it was read", true},
    CodeText{code::too_many_tiles, "too many occupied tiles for one archive", true},
    CodeText{code::out_of_memory, "not enough memory", true},
    CodeText{code::invalid_float_operation, "invalid floating-point operation", true},
};

}  // namespace

std::int32_t code_for_os_error(int os_error, OsRequest request, bool directory_missing) {
  switch (os_error) {
    case ENOENT:
      return directory_missing ? code::path_not_found : code::file_not_found;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return code::path_not_found;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return code::access_denied;
    case ETXTBSY:
    case EBUSY:
      return code::sharing_violation;
    case ENOSPC:
#ifdef EDQUOT  // a disk quota, which not every C library names
    case EDQUOT:
#endif
    case EFBIG:
      return code::disk_full;
    case EINVAL:
    case EOVERFLOW:
      return request == OsRequest::seek ? code::negative_seek : code::general_failure;
    case ESPIPE:
      return code::seek_on_pipe;
    case EIO:
      return request == OsRequest::write ? code::short_write : code::short_read;
    case EPIPE:
      return code::broken_pipe;
    case EMFILE:
    case ENFILE:
      return code::too_many_open_files;
    default:
      return code::general_failure;
  }
}

std::span<const CodeText> code_texts() {
  return table;
}

std::string_view describe_code(std::int32_t code) {
  for (const CodeText& entry : table) {
    if (entry.code == code) return entry.text;
  }
  return "unknown error";
}

}  // namespace heightio
