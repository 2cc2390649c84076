#include "read_ahead.hpp"

#include <algorithm>
#include <new>
#include <system_error>

namespace heightio {
namespace {

constexpr std::size_t batch_target = std::size_t{4} << 20;

// A row of zero bytes still needs a valid address to hand out, aligned for
// the samples a program reads from it.
alignas(16) const std::uint8_t empty_row_byte = 0;

}  // namespace

ReadAhead::ReadAhead(RecordFile& file, const RowSpan& rows, bool from_last)
    : file_(file), rows_(rows), from_last_(from_last) {
  if (batches() == 0) return;
  rows_per_batch_ = static_cast<std::uint32_t>(
      std::clamp<std::size_t>(batch_target / rows_.row_bytes, 1, rows_.count));
  // Every buffer is taken here, on the program's own thread: the reading
  // thread allocates nothing, so it never needs an allocator arena of its own.
  // Huge pages, where the system gives them, save most of the page faults.
  batch_bytes_ = std::size_t{rows_per_batch_} * rows_.row_bytes;
  for (std::size_t s = 0; s < std::min<std::size_t>(slots, batches()); ++s) {
    slots_[s].bytes = static_cast<std::uint8_t*>(platform::reserve_pages(batch_bytes_));
    if (slots_[s].bytes == nullptr) {
      release_slots();
      throw std::bad_alloc();
    }
  }
  start();
}

ReadAhead::~ReadAhead() {
  stop();
  release_slots();
}

void ReadAhead::release_slots() {
  for (Batch& batch : slots_) {
    if (batch.bytes != nullptr) platform::release_pages(batch.bytes, batch_bytes_);
    batch.bytes = nullptr;
  }
}

void ReadAhead::start() {
  served_ = 0;
  held_batch_ = -1;
  filled_ = 0;
  released_ = 0;
  stop_ = false;
  producing_ = batches() > 0;
  if (!producing_) return;
  try {
    thread_ = std::thread(&ReadAhead::produce, this);
  } catch (const std::system_error&) {
    producing_ = false;  // no second thread to be had: each batch is read when it is needed
  }
}

void ReadAhead::stop() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ReadAhead::start_over(bool from_last) {
  stop();
  from_last_ = from_last;
  start();
}

std::uint32_t ReadAhead::batches() const {
  if (rows_.row_bytes == 0 || rows_.count == 0) return 0;
  return (rows_.count + rows_per_batch_ - 1) / rows_per_batch_;
}

void ReadAhead::rows_of_batch(std::uint32_t b, std::uint32_t& lowest, std::uint32_t& count) const {
  const std::uint32_t start = b * rows_per_batch_;
  const std::uint32_t end = std::min(rows_.count, start + rows_per_batch_);
  count = end - start;
  lowest = from_last_ ? rows_.count - end : start;
}

void ReadAhead::fill(std::uint32_t b) {
  Batch& batch = slots_[b % slots];
  std::uint32_t count = 0;
  rows_of_batch(b, batch.lowest_row, count);
  // A failed or short read leaves `done` short; the rows it misses are read
  // again, checked, when they are due.
  (void)platform::read_at(file_.handle,
                          rows_.first_row_at + std::uint64_t{batch.lowest_row} * rows_.row_bytes,
                          batch.bytes, std::size_t{count} * rows_.row_bytes, batch.done);
}

void ReadAhead::produce() {
  for (std::uint32_t b = 0; b < batches(); ++b) {
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stop_ || b < released_ + slots; });
      if (stop_) break;
    }
    fill(b);
    std::uint32_t count = 0, lowest = 0;
    rows_of_batch(b, lowest, count);
    const bool whole = slots_[b % slots].done == std::size_t{count} * rows_.row_bytes;
    {
      const std::lock_guard lock(mutex_);
      filled_ = b + 1;
    }
    changed_.notify_all();
    // Past a short batch the file has ended: reading on would find nothing.
    if (!whole) break;
  }
  const std::lock_guard lock(mutex_);
  producing_ = false;
  changed_.notify_all();
}

void ReadAhead::take_batch(std::uint32_t b) {
  std::unique_lock lock(mutex_);
  if (held_batch_ >= 0) {
    released_ = static_cast<std::uint32_t>(held_batch_) + 1;
    changed_.notify_all();
  }
  changed_.wait(lock, [&] { return filled_ > b || !producing_; });
  held_batch_ = b;
  if (filled_ > b) return;
  // The thread has stopped before this batch (or never ran), and every
  // earlier slot is released: the batch is read here.
  lock.unlock();
  fill(b);
}

const std::uint8_t* ReadAhead::next_row() {
  if (rows_.row_bytes == 0) return &empty_row_byte;
  const std::uint32_t k = served_++;
  const std::uint32_t b = k / rows_per_batch_;
  if (b != held_batch_) take_batch(b);
  const std::uint32_t row = from_last_ ? rows_.count - 1 - k : k;
  const Batch& batch = slots_[b % slots];
  const std::size_t at = std::size_t{row - batch.lowest_row} * rows_.row_bytes;
  if (at + rows_.row_bytes <= batch.done) return batch.bytes + at;
  reread_row_.resize(rows_.row_bytes);
  read_block_at(file_, rows_.first_row_at + std::uint64_t{row} * rows_.row_bytes,
                reread_row_.data(), rows_.row_bytes);
  return reread_row_.data();
}

}  // namespace heightio
