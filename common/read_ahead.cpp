#include "read_ahead.hpp"

#include <algorithm>
#include <new>
#include <system_error>

namespace heightio {
namespace {

// Small enough that a batch is still in the shared cache when the program
// writes it, and that the buffers cost few fresh pages; large enough that a
// read costs little more than its copy.
constexpr std::size_t batch_target = std::size_t{1} << 20;

// A row of zero bytes still needs a valid address to hand out, aligned for
// the samples a program reads from it; nothing is ever stored in it.
alignas(16) std::uint8_t empty_row_byte = 0;

}  // namespace

ReadAhead::ReadAhead(RecordFile& file, const RowSpan& rows, bool from_last)
    : file_(file), rows_(rows), from_last_(from_last) {
  if (batches() == 0) return;
  rows_per_batch_ = static_cast<std::uint32_t>(
      std::clamp<std::size_t>(batch_target / rows_.row_bytes, 1, rows_.count));
  // Every buffer is taken here, on the program's own thread: the reading
  // thread allocates nothing, so it never needs an allocator arena of its own.
  // One stretch of memory for every slot, so that huge pages back it where
  // the system gives them.
  batch_bytes_ = std::size_t{rows_per_batch_} * rows_.row_bytes;
  used_slots_ = std::min<std::size_t>(slots, batches());
  for (std::size_t s = 0; s < used_slots_; ++s) slots_[s].prepared.resize(rows_per_batch_);
  pages_ = static_cast<std::uint8_t*>(platform::reserve_pages(used_slots_ * batch_bytes_));
  if (pages_ == nullptr) throw std::bad_alloc();
  for (std::size_t s = 0; s < used_slots_; ++s) slots_[s].bytes = pages_ + s * batch_bytes_;
  start();
}

ReadAhead::~ReadAhead() {
  stop();
  release_slots();
}

void ReadAhead::release_slots() {
  if (pages_ != nullptr) platform::release_pages(pages_, used_slots_ * batch_bytes_);
  pages_ = nullptr;
}

void ReadAhead::start() {
  served_ = 0;
  held_batch_ = -1;
  claimed_ = 0;
  released_ = 0;
  ended_ = false;
  stop_ = false;
  for (Batch& batch : slots_) batch.ready = -1;
  if (batches() == 0) return;
  try {
    thread_ = std::thread(&ReadAhead::produce, this);
  } catch (const std::system_error&) {
    // No second thread to be had: the program claims and reads every batch.
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

void ReadAhead::start_over(bool from_last, RowPreparation prepare) {
  stop();
  from_last_ = from_last;
  prepare_ = std::move(prepare);
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

bool ReadAhead::claimable() const {
  return !ended_ && claimed_ < batches() && claimed_ < released_ + slots;
}

void ReadAhead::fill(std::uint32_t b, bool prepare) {
  Batch& batch = slots_[b % slots];
  std::uint32_t count = 0;
  rows_of_batch(b, batch.lowest_row, count);
  std::fill(batch.prepared.begin(), batch.prepared.end(), 0);
  // A failed or short read leaves `done` short; the rows it misses are read
  // again, checked, when they are due.
  (void)platform::read_at(file_.handle,
                          rows_.first_row_at + std::uint64_t{batch.lowest_row} * rows_.row_bytes,
                          batch.bytes, std::size_t{count} * rows_.row_bytes, batch.done);
  const bool whole = batch.done == std::size_t{count} * rows_.row_bytes;
  if (whole && prepare && prepare_) prepare_batch(b);
  {
    const std::lock_guard lock(mutex_);
    batch.ready = b;
    // Past a short batch the file has ended: reading on would find nothing.
    if (!whole) ended_ = true;
  }
  changed_.notify_all();
}

// Prepares the rows of a batch that arrived whole, in the order they are
// handed out.
void ReadAhead::prepare_batch(std::uint32_t b) {
  Batch& batch = slots_[b % slots];
  std::uint32_t count = 0, lowest = 0;
  rows_of_batch(b, lowest, count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t place = b * rows_per_batch_ + i;
    const std::uint32_t row = from_last_ ? rows_.count - 1 - place : place;
    std::uint8_t* bytes = batch.bytes + std::size_t{row - lowest} * rows_.row_bytes;
    batch.prepared[row - lowest] = prepare_(bytes, place) ? 1 : 0;
  }
}

void ReadAhead::produce() {
  for (;;) {
    std::uint32_t b = 0;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stop_ || claimable() || ended_ || claimed_ == batches(); });
      if (stop_ || !claimable()) return;
      b = claimed_++;
    }
    fill(b, true);
  }
}

void ReadAhead::take_batch(std::uint32_t b) {
  std::unique_lock lock(mutex_);
  // The batch before this one stays held: the program may still be writing
  // its rows.
  if (held_batch_ >= 1) {
    released_ = static_cast<std::uint32_t>(held_batch_);
    changed_.notify_all();
  }
  held_batch_ = b;
  const Batch& wanted = slots_[b % slots];
  while (wanted.ready != b) {
    // Claimed by nobody yet (no thread, or a thread that has not come to
    // it): read here. Claimed by the thread and still on its way: read the
    // next unclaimed batch meanwhile, rather than wait.
    if (claimed_ == b || (claimed_ > b && claimable())) {
      const std::uint32_t c = claimed_++;
      lock.unlock();
      fill(c, false);
      lock.lock();
      continue;
    }
    changed_.wait(lock);
  }
}

AheadRow ReadAhead::next_row() {
  if (rows_.row_bytes == 0) return {&empty_row_byte, false};
  const std::uint32_t k = served_++;
  const std::uint32_t b = k / rows_per_batch_;
  if (b != held_batch_) take_batch(b);
  const std::uint32_t row = from_last_ ? rows_.count - 1 - k : k;
  Batch& batch = slots_[b % slots];
  const std::size_t at = std::size_t{row - batch.lowest_row} * rows_.row_bytes;
  std::uint8_t* bytes = batch.bytes + at;
  if (at + rows_.row_bytes <= batch.done)
    return {bytes, batch.prepared[row - batch.lowest_row] != 0};
  read_block_at(file_, rows_.first_row_at + std::uint64_t{row} * rows_.row_bytes, bytes,
                rows_.row_bytes);
  return {bytes, false};
}

}  // namespace heightio
