// The one place of the tool chain that talks to the operating system. Every
// function returns 0 on success or a run-time error code (error_codes.hpp);
// nothing here records failures or ends the program, that is the callers' job.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace heightio::platform {

// A file descriptor on POSIX systems, a HANDLE on Windows: both fit a
// pointer-sized integer.
using Handle = std::intptr_t;
inline constexpr Handle no_handle = -1;

enum class Stream { input, output, error };

Handle standard_handle(Stream stream);

// Opens an existing file for reading only. A directory is refused with 5.
std::int32_t open_for_reading(const std::string& path, Handle& handle);

// Creates a file for reading and writing, or truncates an existing one.
std::int32_t create_for_writing(const std::string& path, Handle& handle);

// One transfer of up to `size` bytes; `done` is 0 at the end of the file.
std::int32_t read_some(Handle handle, void* dest, std::size_t size, std::size_t& done);

// Transfers exactly `size` bytes unless the end of the file or an error comes
// first; a request the system completes only in part is continued. Built on
// read_some alone, so it is the same on every system.
inline std::int32_t read_fully(Handle handle, void* dest, std::size_t size, std::size_t& done) {
  done = 0;
  auto* bytes = static_cast<unsigned char*>(dest);
  while (done < size) {
    std::size_t got = 0;
    if (const std::int32_t code = read_some(handle, bytes + done, size - done, got); code != 0)
      return code;
    if (got == 0) break;
    done += got;
  }
  return 0;
}

// Writes exactly `size` bytes unless an error comes first; a request the
// system completes only in part is continued.
std::int32_t write_fully(Handle handle, const void* src, std::size_t size, std::size_t& done);

// Bytes to be written, from wherever they lie.
struct Piece {
  const void* bytes = nullptr;
  std::size_t size = 0;
};

// Writes the pieces one after the other exactly as write_fully would write
// them joined into one block, with as few requests as the system allows.
std::int32_t write_pieces(Handle handle, std::span<const Piece> pieces, std::size_t& done);

// Reads up to `size` bytes at byte `offset` without moving the file position,
// continuing a request the kernel completes only in part; `done` is short only
// at the end of the file; a pipe or a terminal has no offsets and fails with
// 132. Safe to call from a second thread while the first reads or writes
// other files.
std::int32_t read_at(Handle handle, std::uint64_t offset, void* dest, std::size_t size,
                     std::size_t& done);

std::int32_t seek_to(Handle handle, std::uint64_t position);
std::int32_t close_handle(Handle handle);

// Tells an interactive terminal from a file or pipe; fails when the handle is
// not open at all.
std::int32_t query_terminal(Handle handle, bool& interactive);

// The operating system's error number behind the last refused request, and
// its own message for such a number, for the line a person reads.
int last_refusal();
std::string os_error_text(int os_error);

// Writes a line of text meant for a person on a terminal: as bytes, or on a
// Windows console as characters, so that a name outside ASCII shows as it
// should whatever the console's code page.
void write_terminal_text(Handle handle, const std::string& text);

// Hints that a file will be read from start to end.
void advise_sequential(Handle handle);

// Memory for large buffers straight from the system, backed by huge pages
// where it allows; nullptr when none can be had. Pages take memory only once
// they are written.
void* reserve_pages(std::size_t bytes);
void release_pages(void* pages, std::size_t bytes);

// Identity of a file or device, to notice when an output would overwrite an
// input: a regular file by its device and inode, a block or character device
// by its device number, so that any two names of one file or device match;
// a Linux loop device also matches the file behind it.
// Other kinds (pipes, sockets, folders) and handles or paths that name nothing
// have no identity and match nothing.
struct FileIdentity {
  enum class Kind { none, regular, device };
  Kind kind = Kind::none;
  std::uint64_t device = 0;  // the file system's device, or the device's own number
  std::uint64_t inode = 0;   // 0 for a device
  // The file behind a loop device, by its device and inode; 0 and 0 for none.
  std::uint64_t backing_device = 0;
  std::uint64_t backing_inode = 0;
};
FileIdentity identify_handle(Handle handle);
FileIdentity identify_path(const std::string& path);
bool same_file_or_device(const FileIdentity& a, const FileIdentity& b);

// The size in bytes of the regular file open on `handle`; false for a pipe, a
// terminal or a device, whose size is not known ahead.
bool regular_file_size(Handle handle, std::uint64_t& size);

// The working folder's path, for the words that tell where a file was looked
// for; empty when the system cannot tell.
std::string working_folder();

// A closed pipe or an exceeded file-size limit then shows as an error code
// (109, 112) instead of ending the process by a signal.
void prepare_process();

// Ends the process. A program started by a double click in Explorer has a
// console window of its own, which closes as the program ends: on Windows it
// first asks for Enter there, so that the last lines can be read.
[[noreturn]] void exit_process(int status);

// Whether the console window is the program's own and shows its output: the
// system counts one process on the console, this one, and the standard
// output is that console, not redirected. Never true on POSIX systems.
bool window_is_own(std::uint32_t console_processes, bool output_on_console);

// The address at which the program's image starts; a code address minus this
// is stable for one build whatever address the image is loaded at.
std::uintptr_t image_start();

}  // namespace heightio::platform
