#include "error_codes.hpp"

#include <array>
#include <cerrno>

namespace heightio {
namespace {

struct CodeText {
  std::int32_t code;
  std::string_view text;
};

// Mirrored by the error table of the README.
constexpr std::array code_texts{
    CodeText{code::file_not_found, "file not found"},
    CodeText{code::path_not_found, "path not found (a directory of the path is missing)"},
    CodeText{code::too_many_open_files, "too many open files"},
    CodeText{code::access_denied, "access denied (no permission, a directory, or read-only media)"},
    CodeText{code::bad_image_format, "image layout not supported"},
    CodeText{code::general_failure, "the operating system refused the request"},
    CodeText{code::sharing_violation, "file in use, or an output that would overwrite an input"},
    CodeText{code::short_read, "read beyond the end of the file"},
    CodeText{code::short_write, "short write, or an I/O error while writing"},
    CodeText{code::file_not_open, "file not open, or no usable standard output"},
    CodeText{code::not_open_for_input, "settings file not open for input"},
    CodeText{code::not_open_for_output, "no usable standard output"},
    CodeText{code::invalid_number, "invalid number in a settings file"},
    CodeText{code::broken_pipe, "broken pipe: the reader of the output has gone"},
    CodeText{code::disk_full, "disk full or file too large"},
    CodeText{code::negative_seek, "position out of range"},
    CodeText{code::seek_on_pipe, "a pipe or terminal cannot be positioned"},
    CodeText{code::too_many_tiles, "too many occupied tiles for one archive"},
    CodeText{code::out_of_memory, "not enough memory"},
    CodeText{code::invalid_float_operation, "invalid floating-point operation"},
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

std::string_view describe_code(std::int32_t code) {
  for (const CodeText& entry : code_texts) {
    if (entry.code == code) return entry.text;
  }
  return "unknown error";
}

}  // namespace heightio
