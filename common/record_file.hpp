// Binary files read and written by records and blocks of records.
//
// A RecordFile has no buffer: every read, write and seek is one request to
// the operating system, so whatever was written before a failure is on disk.
// An empty path binds the file to the standard input (open_existing) or the
// standard output (create_file), or fails with 103 when that stream was
// closed at start; such a binding is never closed.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform.hpp"

namespace heightio {

struct RecordFile {
  RecordFile() = default;
  // `subject` says what the file is to the program ("raster", "image"), for
  // the line that tells a person at a terminal what failed.
  explicit RecordFile(std::string_view subject) : subject(subject) {}

  std::string_view subject = "file";
  std::string path;
  bool is_open = false;
  std::uint32_t record_size = 1;
  platform::Handle handle = platform::no_handle;
  bool standard_binding = false;
};

// Opens an existing file for reading; the file is never asked for write access.
void open_existing(RecordFile& file, std::string_view path, std::uint32_t record_size);

// Creates the file, or empties an existing one at once.
void create_file(RecordFile& file, std::string_view path, std::uint32_t record_size);

// Moves to record number n; the byte position is computed in 64 bits. A
// position past the end is accepted, and the next read fails with 100.
void seek_record(RecordFile& file, std::uint64_t n);

// Reads exactly `count` records with one logical request; fewer whole records
// fail with 100.
void read_block(RecordFile& file, void* dest, std::uint64_t count);

// Reads exactly `count` records from record number `n` on, without moving the
// file position; fewer whole records fail with 100, as read_block does.
void read_block_at(RecordFile& file, std::uint64_t n, void* dest, std::uint64_t count);

// What a step that records nothing found, so that it may run on a second
// thread: 0, or the run-time error code, the operating system's error number
// behind it, the file whose read failed (none for a conversion), and where in
// the step's work it arose, such as a row or a tile.
struct JobResult {
  std::int32_t code = 0;
  std::uint32_t at = 0;
  int os_error = 0;
  const RecordFile* file = nullptr;
};

// Reads up to `bytes` bytes at byte `offset`, without moving the file position
// and recording nothing; `done` tells how many arrived. The result is what a
// checked read of the whole would record: 100 for a file that ends early.
JobResult read_bytes_at(const RecordFile& file, std::uint64_t offset, void* dest, std::size_t bytes,
                        std::size_t& done);

// Records what a step returned, as the checked operation would have, for
// check_io to raise: a failed read with what was asked of which file.
void record_job_failure(const JobResult& result);

// Whether the file's bytes can be read a second time where they lie: a
// regular file opened by name. The standard input, even when the shell took it
// from a file, starts where its reader left it, so it never counts.
bool readable_again(const RecordFile& file);

// Reads up to `count` whole records and returns how many arrived. It records
// no failure: a shortfall of any cause is for the caller to redo with the
// checked operations above, which then fail exactly where they must.
std::uint64_t read_available(RecordFile& file, void* dest, std::uint64_t count);

// Writes exactly `count` records with one logical request; fewer fail with 101.
void write_block(RecordFile& file, const void* src, std::uint64_t count);

void close_file(RecordFile& file);

// An input that an output must not overwrite: an open file, or a file named
// by its path that the program opens only later.
struct InputFile {
  std::string_view subject;
  platform::FileIdentity identity;
};
InputFile input_of(const RecordFile& open_file);
InputFile input_at(std::string_view subject, const std::string& path);

// Records 32 when the output about to be created at `path` (empty: the
// standard output) is one of `inputs` under any name, a block or character
// device included: creating or writing it would destroy an input before it is
// read. Nothing is opened or written.
void refuse_output_over_inputs(const RecordFile& output, std::string_view path,
                               std::initializer_list<InputFile> inputs);

}  // namespace heightio
