#include "row_batch.hpp"

#include <algorithm>
#include <vector>

#include "console.hpp"
#include "failure.hpp"
#include "two_pass.hpp"

namespace heightio {
namespace {

constexpr std::size_t batch_target = std::size_t{4} << 20;

// The console bytes of a row number printed in place: its digits and a CR.
std::size_t number_text_bytes(std::uint32_t number) {
  std::size_t digits = 1;
  for (; number >= 10; number /= 10) ++digits;
  return digits + 1;
}

class RowBatch {
 public:
  RowBatch(RecordFile& file, std::size_t row_bytes, std::uint32_t rows_kept);
  void add(const std::uint8_t* row, std::uint32_t number);
  // Writes the rows held and prints their numbers; a failure is raised.
  void flush();

 private:
  RecordFile& file_;
  std::size_t row_bytes_;
  std::size_t capacity_;  // rows one batch holds
  std::vector<platform::Piece> rows_;
  std::vector<std::uint32_t> numbers_;
  std::size_t text_bytes_ = 0;  // console bytes the held rows' numbers take
};

// Every row number takes at least two console bytes, so a batch never holds
// more rows than half the console's buffer.
RowBatch::RowBatch(RecordFile& file, std::size_t row_bytes, std::uint32_t rows_kept)
    : file_(file),
      row_bytes_(row_bytes),
      capacity_(std::clamp<std::size_t>(
          row_bytes == 0 ? 1 : batch_target / row_bytes, 1,
          std::min<std::size_t>(Console::buffer_size / 2, std::max<std::uint32_t>(rows_kept, 1)))) {
  allocate_or_fail([&] {
    rows_.reserve(capacity_);
    numbers_.reserve(capacity_);
  });
}

void RowBatch::add(const std::uint8_t* row, std::uint32_t number) {
  rows_.push_back({row, row_bytes_});
  numbers_.push_back(number);
  text_bytes_ += number_text_bytes(number);
  if (rows_.size() == capacity_ || !console_keeps(text_bytes_)) flush();
}

void RowBatch::flush() {
  std::size_t done = 0;
  (void)platform::write_pieces(file_.handle, rows_, done);
  std::size_t row = 0;
  for (; row < rows_.size() && (row + 1) * row_bytes_ <= done; ++row)
    print_row_in_place(numbers_[row]);
  for (; row < rows_.size(); ++row) {
    // Whatever part of this row the batch's write got out stays written.
    const std::size_t at = row * row_bytes_;
    const std::size_t sent = done > at ? done - at : 0;
    const auto* bytes = static_cast<const std::uint8_t*>(rows_[row].bytes);
    write_block(file_, bytes + sent, row_bytes_ - sent);
    check_io();
    print_row_in_place(numbers_[row]);
  }
  rows_.clear();
  numbers_.clear();
  text_bytes_ = 0;
}

}  // namespace

void write_rows(RecordFile& file, std::size_t row_bytes, std::uint32_t rows_kept,
                std::uint32_t count,
                const std::function<const std::uint8_t*(std::uint32_t)>& next_row,
                const std::function<std::uint32_t(std::uint32_t)>& number) {
  RowBatch batch(file, row_bytes, rows_kept);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* row = nullptr;
    try {
      row = next_row(i);
      check_io();
    } catch (const IoError&) {
      batch.flush();  // the rows before this one are written first
      throw;
    }
    batch.add(row, number(i));
  }
  batch.flush();
}

}  // namespace heightio
