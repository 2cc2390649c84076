#include "two_pass.hpp"

#include <algorithm>

#include "console.hpp"
#include "error_codes.hpp"
#include "failure.hpp"
#include "row_hash.hpp"

namespace heightio {
namespace {

// Small enough that a batch is still in the shared cache when the program
// writes it, and that the slots cost few fresh pages; large enough that a
// read costs little more than its copy. Rows of more than 128 KiB (images
// over 32768 pixels across) go two to a batch: the slots then take at most
// 2 MiB, which leaves room for what a program keeps of such rows beside them.
constexpr std::size_t batch_target = std::size_t{1} << 20;
constexpr std::size_t wide_row = batch_target / 8;

// The program holds two batches (the rows it hands out and the rows before
// them, which it may still be writing) while the thread fills the others.
constexpr std::size_t batch_slots = 4;

// A row of zero bytes still needs a valid address to hand out, aligned for
// the samples a program reads from it; nothing is ever stored in it.
alignas(16) std::uint8_t empty_row_byte = 0;

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

std::uint32_t rows_per_batch(std::size_t row_bytes, std::uint32_t count) {
  const std::size_t target = row_bytes > wide_row ? 2 * row_bytes : batch_target;
  return static_cast<std::uint32_t>(std::clamp<std::size_t>(
      target / std::max<std::size_t>(row_bytes, 1), 1, std::max<std::uint32_t>(count, 1)));
}

TwoPassRows::TwoPassRows(RecordFile& file, const RowSpan& rows) : file_(file), rows_(rows) {
  if (rows_.row_bytes == 0 || rows_.count == 0) return;
  if (!readable_again(file_)) {
    store_.emplace(rows_.row_bytes);
    return;
  }
  rows_per_batch_ = rows_per_batch(rows_.row_bytes, rows_.count);
  allocate_or_fail([&] { hashes_.resize(rows_.count); });
  pipeline_.emplace(batch_slots, std::size_t{rows_per_batch_} * rows_.row_bytes);
  start_pass(false);
}

// Job b: the rows at places b * rows_per_batch_ on, in the order they are
// handed out, read with one positioned read. The reading phase notes each
// row's hash; the writing phase converts each row and compares its hash.
JobResult TwoPassRows::read_batch(std::uint64_t b, std::uint8_t* slot, bool writing) {
  const auto start = static_cast<std::uint32_t>(b * rows_per_batch_);
  const std::uint32_t end = std::min(rows_.count, start + rows_per_batch_);
  const bool from_last = order_ == Order::last_to_first;
  const std::uint32_t lowest = from_last ? rows_.count - end : start;
  std::size_t done = 0;
  JobResult read =
      read_bytes_at(file_, rows_.first_row_at + std::uint64_t{lowest} * rows_.row_bytes, slot,
                    std::size_t{end - start} * rows_.row_bytes, done);
  for (std::uint32_t place = start; place < end; ++place) {
    const std::uint32_t row = from_last ? rows_.count - 1 - place : place;
    std::uint8_t* bytes = slot + std::size_t{row - lowest} * rows_.row_bytes;
    if (std::size_t{row - lowest + 1} * rows_.row_bytes > done)
      return {read.code, place, read.os_error, &file_};
    const std::uint64_t hash = row_hash(bytes, rows_.row_bytes);
    if (!writing) {
      hashes_[row] = hash;
      continue;
    }
    if (convert_)
      if (const std::int32_t code = convert_(bytes, place); code != 0) return {code, place};
    if (hash != hashes_[row]) return {code::input_changed, place, 0, &file_};
  }
  return {};
}

void TwoPassRows::start_writing_phase(Order order, RowConversion convert) {
  order_ = order;
  convert_ = std::move(convert);
  start_pass(true);
}

void TwoPassRows::start_pass(bool writing) {
  served_ = 0;
  held_batch_ = -1;
  if (!pipeline_) return;
  const std::uint64_t batches = (rows_.count + rows_per_batch_ - 1) / rows_per_batch_;
  pipeline_->start(batches, [this, writing](std::uint64_t b, std::uint8_t* slot, Runner) {
    return read_batch(b, slot, writing);
  });
}

std::uint8_t* TwoPassRows::next_row() {
  const std::uint32_t k = served_++;
  const std::uint32_t b = k / rows_per_batch_;
  if (b != held_batch_) {
    held_ = pipeline_->take(b);
    held_batch_ = b;
  }
  if (held_.result.code != 0 && k >= held_.result.at) {
    record_job_failure(held_.result);
    return &empty_row_byte;
  }
  const std::uint32_t end = std::min(rows_.count, (b + 1) * rows_per_batch_);
  const std::uint32_t lowest =
      order_ == Order::last_to_first ? rows_.count - end : b * rows_per_batch_;
  const std::uint32_t row = order_ == Order::last_to_first ? rows_.count - 1 - k : k;
  return held_.slot + std::size_t{row - lowest} * rows_.row_bytes;
}

const std::uint8_t* TwoPassRows::read_row() {
  if (rows_.row_bytes == 0) return &empty_row_byte;
  if (pipeline_) return next_row();
  std::uint8_t* row = store_->add_row();
  read_block(file_, row, rows_.row_bytes);
  return row;
}

std::uint8_t* TwoPassRows::reread_row() {
  if (rows_.row_bytes == 0) return &empty_row_byte;
  if (pipeline_) return next_row();
  const std::uint32_t k = served_++;
  std::uint8_t* row = store_->row(order_ == Order::last_to_first ? rows_.count - 1 - k : k);
  if (convert_)
    if (const std::int32_t code = convert_(row, k); code != 0) record_failure(code);
  return row;
}

std::uint32_t TwoPassRows::rows_kept() const {
  return pipeline_ ? rows_per_batch_ : rows_.count;
}

}  // namespace heightio
