#include "row_batch.hpp"

#include <algorithm>

#include "console.hpp"
#include "failure.hpp"
#include "platform.hpp"
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

}  // namespace

// Every row number takes at least two console bytes, so a batch never holds
// more rows than half the console's buffer.
RowBatch::RowBatch(RecordFile& file, std::size_t row_bytes)
    : file_(file),
      row_bytes_(row_bytes),
      capacity_(std::clamp<std::size_t>(row_bytes == 0 ? 1 : batch_target / row_bytes, 1,
                                        Console::buffer_size / 2)) {
  allocate_or_fail([&] {
    bytes_ = std::make_unique_for_overwrite<std::uint8_t[]>(capacity_ * row_bytes_);
    numbers_.resize(capacity_);
  });
}

void RowBatch::add(std::uint32_t number) {
  numbers_[held_++] = number;
  text_bytes_ += number_text_bytes(number);
  if (held_ == capacity_ || !console_keeps(text_bytes_)) flush();
}

void RowBatch::flush() {
  std::size_t done = 0;
  (void)platform::write_fully(file_.handle, bytes_.get(), held_ * row_bytes_, done);
  std::size_t row = 0;
  for (; row < held_ && (row + 1) * row_bytes_ <= done; ++row) print_row_in_place(numbers_[row]);
  for (; row < held_; ++row) {
    // Whatever part of this row the batch's write got out stays written.
    const std::size_t at = row * row_bytes_;
    const std::size_t sent = done > at ? done - at : 0;
    write_block(file_, bytes_.get() + at + sent, row_bytes_ - sent);
    check_io();
    print_row_in_place(numbers_[row]);
  }
  held_ = 0;
  text_bytes_ = 0;
}

}  // namespace heightio
