#include "record_file.hpp"

#include <utility>

#include "error_codes.hpp"
#include "failure.hpp"

namespace heightio {
namespace {

using OpenRequest = std::int32_t (*)(const std::string&, platform::Handle&);

std::string_view standard_stream_name(platform::Stream stream) {
  return stream == platform::Stream::input ? "the standard input" : "the standard output";
}

// Records `code` with what was asked of `file`: the operating system's error
// number when it refused (`by_os`), else the layer's own words.
void fail(const RecordFile& file, Action action, std::int32_t code, bool by_os,
          std::string detail = {}) {
  FailureContext context{action, file.subject, file.path, by_os ? platform::last_refusal() : 0,
                         std::move(detail)};
  if (file.standard_binding)
    context.subject =
        standard_stream_name(file.handle == platform::standard_handle(platform::Stream::input)
                                 ? platform::Stream::input
                                 : platform::Stream::output);
  record_failure(code, std::move(context));
}

void open_record_file(RecordFile& file, std::string_view path, std::uint32_t record_size,
                      platform::Stream standard_stream, OpenRequest open_request, Action action) {
  if (file.is_open) close_file(file);
  file.path = std::string(path);
  file.record_size = record_size;
  file.is_open = true;
  file.standard_binding = path.empty();
  if (file.standard_binding) {
    file.handle = platform::standard_handle(standard_stream);
    // A standard stream closed at start is no file to read or write: 103, as
    // for the console on it.
    bool interactive = false;
    if (platform::query_terminal(file.handle, interactive) != 0) {
      file.is_open = false;
      record_failure(code::file_not_open,
                     {action, standard_stream_name(standard_stream), {}, 0, "it is closed"});
    }
    return;
  }
  if (const std::int32_t code = open_request(file.path, file.handle); code != 0) {
    file.is_open = false;
    fail(file, action, code, true);
  }
}

// Byte count of `count` records, or false when it does not fit the address space.
bool byte_count(const RecordFile& file, std::uint64_t count, std::size_t& bytes) {
  if (count > SIZE_MAX / file.record_size) return false;
  bytes = static_cast<std::size_t>(count * file.record_size);
  return true;
}

}  // namespace

void open_existing(RecordFile& file, std::string_view path, std::uint32_t record_size) {
  open_record_file(file, path, record_size, platform::Stream::input, platform::open_for_reading,
                   Action::open);
}

void create_file(RecordFile& file, std::string_view path, std::uint32_t record_size) {
  open_record_file(file, path, record_size, platform::Stream::output, platform::create_for_writing,
                   Action::create);
}

void seek_record(RecordFile& file, std::uint64_t n) {
  if (!file.is_open) return fail(file, Action::seek, code::file_not_open, false);
  if (n > UINT64_MAX / file.record_size)
    return fail(file, Action::seek, code::negative_seek, false);
  if (const std::int32_t code = platform::seek_to(file.handle, n * file.record_size); code != 0)
    fail(file, Action::seek, code, true);
}

void read_block(RecordFile& file, void* dest, std::uint64_t count) {
  if (!file.is_open) return fail(file, Action::read, code::file_not_open, false);
  std::size_t bytes = 0;
  if (!byte_count(file, count, bytes)) return fail(file, Action::read, code::short_read, false);
  std::size_t done = 0;
  if (const std::int32_t code = platform::read_fully(file.handle, dest, bytes, done); code != 0)
    return fail(file, Action::read, code, true);
  if (done / file.record_size != count)
    fail(file, Action::read, code::short_read, false, "the file ends early");
}

void read_block_at(RecordFile& file, std::uint64_t n, void* dest, std::uint64_t count) {
  if (!file.is_open) return fail(file, Action::read, code::file_not_open, false);
  std::size_t bytes = 0;
  if (!byte_count(file, count, bytes) || n > UINT64_MAX / file.record_size)
    return fail(file, Action::read, code::short_read, false);
  std::size_t done = 0;
  record_job_failure(read_bytes_at(file, n * file.record_size, dest, bytes, done));
}

JobResult read_bytes_at(const RecordFile& file, std::uint64_t offset, void* dest, std::size_t bytes,
                        std::size_t& done) {
  done = 0;
  if (const std::int32_t code = platform::read_at(file.handle, offset, dest, bytes, done);
      code != 0)
    return {code, 0, platform::last_refusal(), &file};
  return {done == bytes ? 0 : code::short_read, 0, 0, &file};
}

void record_job_failure(const JobResult& result) {
  if (result.code == 0) return;
  if (result.file == nullptr) return record_failure(result.code);
  const RecordFile& file = *result.file;
  const bool ends_early = result.code == code::short_read && result.os_error == 0;
  FailureContext context{Action::read, file.subject, file.path, result.os_error,
                         ends_early ? "the file ends early" : ""};
  if (file.standard_binding) context.subject = "the standard input";
  record_failure(result.code, std::move(context));
}

bool readable_again(const RecordFile& file) {
  return file.is_open && !file.standard_binding &&
         platform::identify_handle(file.handle).kind == platform::FileIdentity::Kind::regular;
}

std::uint64_t read_available(RecordFile& file, void* dest, std::uint64_t count) {
  std::size_t bytes = 0;
  if (!file.is_open || !byte_count(file, count, bytes)) return 0;
  std::size_t done = 0;
  (void)platform::read_fully(file.handle, dest, bytes, done);
  return done / file.record_size;
}

void write_block(RecordFile& file, const void* src, std::uint64_t count) {
  if (!file.is_open) return fail(file, Action::write, code::file_not_open, false);
  std::size_t bytes = 0;
  if (!byte_count(file, count, bytes)) return fail(file, Action::write, code::short_write, false);
  std::size_t done = 0;
  if (const std::int32_t code = platform::write_fully(file.handle, src, bytes, done); code != 0)
    return fail(file, Action::write, code, true);
  if (done / file.record_size != count) fail(file, Action::write, code::short_write, false);
}

void close_file(RecordFile& file) {
  if (!file.is_open) return fail(file, Action::close, code::file_not_open, false);
  file.is_open = false;
  if (file.standard_binding) return;
  const std::int32_t code = platform::close_handle(file.handle);
  file.handle = platform::no_handle;
  if (code != 0) fail(file, Action::close, code, true);
}

InputFile input_of(const RecordFile& open_file) {
  return {open_file.subject, open_file.is_open ? platform::identify_handle(open_file.handle)
                                               : platform::FileIdentity{}};
}

InputFile input_at(std::string_view subject, const std::string& path) {
  return {subject, platform::identify_path(path)};
}

void refuse_output_over_inputs(const RecordFile& output, std::string_view path,
                               std::initializer_list<InputFile> inputs) {
  const platform::FileIdentity target =
      path.empty() ? platform::identify_handle(platform::standard_handle(platform::Stream::output))
                   : platform::identify_path(std::string(path));
  for (const InputFile& input : inputs) {
    if (!platform::same_file_or_device(target, input.identity)) continue;
    FailureContext context{Action::create, output.subject, std::string(path), 0,
                           "it is the " + std::string(input.subject) + " being read"};
    if (path.empty()) context.subject = "the standard output";
    return record_failure(code::sharing_violation, std::move(context));
  }
}

}  // namespace heightio
