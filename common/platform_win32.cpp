#include <windows.h>

#include <array>
#include <cstdlib>

#include "error_codes.hpp"
#include "platform.hpp"

// Start of the program image, placed by the linker.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace heightio::platform {
namespace {

// The standard handles that were missing or closed when the process started.
std::array<bool, 3> closed_at_start{};

thread_local int last_refusal_number = 0;

// The system's error number is the run-time error code itself; `os_error` is
// kept for the message a person reads, which may say more than `code`.
std::int32_t refused(DWORD os_error, std::int32_t code) {
  last_refusal_number = static_cast<int>(os_error);
  return code;
}

std::int32_t refused(DWORD os_error) {
  return refused(os_error, static_cast<std::int32_t>(os_error));
}

HANDLE native(Handle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

Handle portable(HANDLE handle) {
  return reinterpret_cast<Handle>(handle);
}

// A request moves at most this many bytes, as ReadFile and WriteFile count
// in 32 bits; the loops above them carry on with the rest.
constexpr std::size_t largest_transfer = std::size_t{1} << 30;

DWORD transfer_size(std::size_t size) {
  return static_cast<DWORD>(size < largest_transfer ? size : largest_transfer);
}

// The characters of `bytes`: UTF-8 when they are valid UTF-8, else the
// system's ANSI code page, which older Windows editors saved settings in.
std::wstring decode(const std::string& bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  UINT code_page = CP_UTF8;
  DWORD flags = MB_ERR_INVALID_CHARS;
  int length = MultiByteToWideChar(code_page, flags, bytes.data(), size, nullptr, 0);
  if (length == 0) {
    code_page = CP_ACP;
    flags = 0;
    length = MultiByteToWideChar(code_page, flags, bytes.data(), size, nullptr, 0);
  }
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(code_page, flags, bytes.data(), size, text.data(), length);
  return text;
}

std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, bytes.data(), length, nullptr, nullptr);
  return bytes;
}

// The longest path the system takes, in the \\?\ form.
constexpr std::size_t longest_path = 32767;

// A path of MAX_PATH characters or more is made absolute and put in the
// "\\?\" form, which the system takes as it is: shorter paths keep their ordinary
// meaning (device names such as NUL among them).
bool long_path_form(std::wstring& path) {
  if (path.size() < MAX_PATH || path.starts_with(L"\\\\?\\")) return true;
  std::wstring full(longest_path + 1, L'\0');
  const DWORD length =
      GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length > longest_path - 8) return false;
  full.resize(length);
  if (full.starts_with(L"\\\\.\\") || full.starts_with(L"\\\\?\\")) {
    path = full;
  } else if (full.starts_with(L"\\\\")) {
    path = L"\\\\?\\UNC\\" + full.substr(2);
  } else {
    path = L"\\\\?\\" + full;
  }
  return true;
}

// The wide-character path for `path`, or a refusal: a NUL byte would cut the
// path short and name another file (31, as on every system), and a path the
// system cannot take at any length is a path that cannot be found (3).
std::int32_t system_path(const std::string& path, std::wstring& wide) {
  if (path.find('\0') != std::string::npos)
    return refused(ERROR_INVALID_NAME, code::general_failure);
  wide = decode(path);
  if (wide.size() > longest_path || !long_path_form(wide))
    return refused(ERROR_FILENAME_EXCED_RANGE, code::path_not_found);
  return 0;
}

// Both kinds of open share reading and writing with other processes.
std::int32_t open_with(const std::string& path, DWORD access, DWORD disposition, DWORD flags,
                       Handle& handle) {
  handle = no_handle;
  std::wstring wide;
  if (const std::int32_t code = system_path(path, wide); code != 0) return code;
  const HANDLE opened = CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, disposition, FILE_ATTRIBUTE_NORMAL | flags, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return refused(GetLastError());
  handle = portable(opened);
  return 0;
}

bool usable(Handle handle) {
  return handle != no_handle && handle != 0;
}

}  // namespace

Handle standard_handle(Stream stream) {
  const auto index = static_cast<std::size_t>(stream);
  if (closed_at_start[index]) return no_handle;
  static constexpr std::array<DWORD, 3> ids{STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  const HANDLE handle = GetStdHandle(ids[index]);
  return handle == nullptr || handle == INVALID_HANDLE_VALUE ? no_handle : portable(handle);
}

std::int32_t open_for_reading(const std::string& path, Handle& handle) {
  // A directory is refused by the system itself with 5, access denied.
  return open_with(path, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, handle);
}

std::int32_t create_for_writing(const std::string& path, Handle& handle) {
  return open_with(path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS, 0, handle);
}

std::int32_t read_some(Handle handle, void* dest, std::size_t size, std::size_t& done) {
  done = 0;
  if (!usable(handle)) return refused(ERROR_INVALID_HANDLE);
  DWORD got = 0;
  if (!ReadFile(native(handle), dest, transfer_size(size), &got, nullptr)) {
    const DWORD error = GetLastError();
    // A pipe whose writer has gone, and a device at its end, end the file.
    if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0;
    return refused(error);
  }
  done = got;
  return 0;
}

std::int32_t write_fully(Handle handle, const void* src, std::size_t size, std::size_t& done) {
  done = 0;
  if (!usable(handle)) return refused(ERROR_INVALID_HANDLE);
  const auto* bytes = static_cast<const unsigned char*>(src);
  while (done < size) {
    DWORD put = 0;
    if (!WriteFile(native(handle), bytes + done, transfer_size(size - done), &put, nullptr)) {
      const DWORD error = GetLastError();
      // A pipe whose reader has gone says "being closed" (Wine: "not
      // connected"): for the writer it is a broken pipe.
      const bool reader_gone = error == ERROR_NO_DATA || error == ERROR_PIPE_NOT_CONNECTED;
      return refused(error, reader_gone ? ERROR_BROKEN_PIPE : error);
    }
    if (put == 0) break;
    done += put;
  }
  return 0;
}

std::int32_t write_pieces(Handle handle, std::span<const Piece> pieces, std::size_t& done) {
  done = 0;
  for (const Piece& piece : pieces) {
    std::size_t put = 0;
    const std::int32_t code = write_fully(handle, piece.bytes, piece.size, put);
    done += put;
    if (code != 0 || put < piece.size) return code;
  }
  return 0;
}

std::int32_t read_at(Handle handle, std::uint64_t offset, void* dest, std::size_t size,
                     std::size_t& done) {
  done = 0;
  if (!usable(handle)) return refused(ERROR_INVALID_HANDLE);
  // A pipe or a console has no offsets to read at.
  if (GetFileType(native(handle)) != FILE_TYPE_DISK) return refused(ERROR_SEEK_ON_DEVICE);
  // A read at an offset through the program's own handle would move its file
  // position, which a second thread must not touch: the read goes through a
  // handle of its own to the same file.
  const HANDLE own = ReOpenFile(native(handle), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
  if (own == INVALID_HANDLE_VALUE) return refused(GetLastError());
  auto* bytes = static_cast<unsigned char*>(dest);
  std::int32_t code = 0;
  while (done < size) {
    const std::uint64_t at = offset + done;
    if (at > static_cast<std::uint64_t>(INT64_MAX)) {
      code = refused(ERROR_INVALID_PARAMETER, code::general_failure);
      break;
    }
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(at);
    position.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD got = 0;
    if (!ReadFile(own, bytes + done, transfer_size(size - done), &got, &position)) {
      // Reading from the end of the file on is the end, not a failure.
      if (const DWORD error = GetLastError(); error != ERROR_HANDLE_EOF) code = refused(error);
      break;
    }
    if (got == 0) break;
    done += got;
  }
  CloseHandle(own);
  return code;
}

std::int32_t seek_to(Handle handle, std::uint64_t position) {
  if (!usable(handle)) return refused(ERROR_INVALID_HANDLE);
  if (position > static_cast<std::uint64_t>(INT64_MAX)) return refused(ERROR_NEGATIVE_SEEK);
  // The system would accept a position on a pipe or a console and ignore it.
  if (GetFileType(native(handle)) != FILE_TYPE_DISK) return refused(ERROR_SEEK_ON_DEVICE);
  LARGE_INTEGER offset;
  offset.QuadPart = static_cast<LONGLONG>(position);
  if (!SetFilePointerEx(native(handle), offset, nullptr, FILE_BEGIN))
    return refused(GetLastError());
  return 0;
}

std::int32_t close_handle(Handle handle) {
  if (!CloseHandle(native(handle))) return refused(GetLastError());
  return 0;
}

std::int32_t query_terminal(Handle handle, bool& interactive) {
  if (!usable(handle)) return refused(ERROR_INVALID_HANDLE);
  const DWORD type = GetFileType(native(handle));
  if (type == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR) return refused(GetLastError());
  interactive = type == FILE_TYPE_CHAR;
  return 0;
}

int last_refusal() {
  return last_refusal_number;
}

std::string os_error_text(int os_error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(os_error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message(text != nullptr ? text : L"", length);
  LocalFree(text);
  // The system's messages end with a line end, which the caller adds itself.
  while (!message.empty() &&
         (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
    message.pop_back();
  if (message.empty()) return "system error " + std::to_string(os_error);
  return utf8(message);
}

void write_terminal_text(Handle handle, const std::string& text) {
  DWORD mode = 0;
  if (usable(handle) && GetConsoleMode(native(handle), &mode)) {
    const std::wstring characters = decode(text);
    DWORD written = 0;
    (void)WriteConsoleW(native(handle), characters.data(), static_cast<DWORD>(characters.size()),
                        &written, nullptr);
    return;
  }
  std::size_t done = 0;
  (void)write_fully(handle, text.data(), text.size(), done);
}

void advise_sequential(Handle) {
  // Inputs are opened with FILE_FLAG_SEQUENTIAL_SCAN instead.
}

void* reserve_pages(std::size_t bytes) {
  return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void release_pages(void* pages, std::size_t) {
  (void)VirtualFree(pages, 0, MEM_RELEASE);
}

FileIdentity identify_handle(Handle handle) {
  // Only files on disk have an identity here: Windows gives a device such as
  // NUL or CON no number to tell it by.
  BY_HANDLE_FILE_INFORMATION info{};
  if (!usable(handle) || GetFileType(native(handle)) != FILE_TYPE_DISK ||
      !GetFileInformationByHandle(native(handle), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return {};
  return {FileIdentity::Kind::regular, info.dwVolumeSerialNumber,
          (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

FileIdentity identify_path(const std::string& path) {
  std::wstring wide;
  if (system_path(path, wide) != 0) return {};
  // Opened for its attributes only, which no other process's sharing forbids.
  const HANDLE opened =
      CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return {};
  const FileIdentity identity = identify_handle(portable(opened));
  CloseHandle(opened);
  return identity;
}

bool same_file_or_device(const FileIdentity& a, const FileIdentity& b) {
  return a.kind != FileIdentity::Kind::none && a.kind == b.kind && a.device == b.device &&
         a.inode == b.inode;
}

bool regular_file_size(Handle handle, std::uint64_t& size) {
  if (identify_handle(handle).kind != FileIdentity::Kind::regular) return false;
  LARGE_INTEGER bytes;
  if (!GetFileSizeEx(native(handle), &bytes)) return false;
  size = static_cast<std::uint64_t>(bytes.QuadPart);
  return true;
}

std::string working_folder() {
  const DWORD length = GetCurrentDirectoryW(0, nullptr);
  if (length == 0) return {};
  std::wstring folder(length, L'\0');
  const DWORD written = GetCurrentDirectoryW(length, folder.data());
  if (written == 0 || written >= length) return {};
  folder.resize(written);
  return utf8(folder);
}

void prepare_process() {
  // A drive that is not ready is a failure to report, not a dialog box.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // A standard handle that is not open counts as absent: its number could be
  // handed out again to a file this program opens, and console text would
  // then go into that file.
  for (const Stream stream : {Stream::input, Stream::output, Stream::error}) {
    const Handle handle = standard_handle(stream);
    if (handle == no_handle) continue;
    if (GetFileType(native(handle)) == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR)
      closed_at_start[static_cast<std::size_t>(stream)] = true;
  }
}

bool window_is_own(std::uint32_t console_processes, bool output_on_console) {
  return console_processes == 1 && output_on_console;
}

namespace {
// Started from a Command Prompt, the console also counts the prompt's
// process; started by a double click, only this one.
void hold_own_window() {
  DWORD processes[2];
  const DWORD count = GetConsoleProcessList(processes, 2);
  const Handle output = standard_handle(Stream::output);
  DWORD mode = 0;
  const bool on_console = usable(output) && GetConsoleMode(native(output), &mode);
  if (!window_is_own(count, on_console)) return;
  write_terminal_text(output, "Press Enter to close this window.\r\n");
  const Handle input = standard_handle(Stream::input);
  char byte = 0;
  DWORD got = 0;
  while (usable(input) && ReadFile(native(input), &byte, 1, &got, nullptr) && got == 1 &&
         byte != '\n') {
  }
}
}  // namespace

void exit_process(int status) {
  hold_own_window();
  std::exit(status);
}

std::uintptr_t image_start() {
  return reinterpret_cast<std::uintptr_t>(&__ImageBase);
}

}  // namespace heightio::platform
