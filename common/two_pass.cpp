#include "two_pass.hpp"

#include <array>
#include <cstdlib>

#include "console.hpp"
#include "failure.hpp"
#include "platform.hpp"

namespace heightio {
namespace {

void wait_for_test_hook() {
  const char* path = std::getenv("DEMTOOLS_PAUSE_BETWEEN_PHASES");
  if (path == nullptr || *path == '\0') return;
  platform::Handle handle = platform::no_handle;
  if (platform::open_for_reading(path, handle) != 0) return;
  std::array<char, 64> sink{};
  std::size_t done = 0;
  while (platform::read_some(handle, sink.data(), sink.size(), done) == 0 && done > 0) {
  }
  (void)platform::close_handle(handle);
}

}  // namespace

void print_row_in_place(std::uint32_t r) {
  write_int(r, 0);
  write_char('\r');
  end_write();
  check_io();
}

void print_row_on_line(std::uint32_t r) {
  write_int(r, 0);
  write_char('\r');
  write_line_end();
  check_io();
}

void print_phase_end() {
  write_line_end();
  check_io();
  write_line_end();
  check_io();
}

void end_reading_phase() {
  print_phase_end();
  wait_for_test_hook();
}

TwoPassRows::TwoPassRows(RecordFile& file, const RowSpan& rows) : file_(file), rows_(rows) {
  if (readable_again(file_))
    ahead_.emplace(file_, rows_, false);
  else
    store_.emplace(rows_.row_bytes);
}

const std::uint8_t* TwoPassRows::read_row() {
  if (ahead_) return ahead_->next_row().bytes;
  std::uint8_t* row = store_->add_row();
  read_block(file_, row, rows_.row_bytes);
  return row;
}

void TwoPassRows::start_writing_phase(bool from_last, RowPreparation prepare) {
  from_last_ = from_last;
  served_ = 0;
  if (ahead_) ahead_->start_over(from_last, std::move(prepare));
}

AheadRow TwoPassRows::reread_row() {
  if (ahead_) return ahead_->next_row();
  const std::uint32_t k = served_++;
  return {store_->row(from_last_ ? store_->rows() - 1 - k : k), false};
}

std::uint32_t TwoPassRows::rows_kept() const {
  return ahead_ ? ahead_->rows_kept() : rows_.count;
}

}  // namespace heightio
