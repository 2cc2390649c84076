// Rows of equal size read from a regular file on a second thread, ahead of
// their use, in file order or from the last row to the first.
//
// The thread reads batches of whole rows of about 4 MiB with one positioned
// read each, into a ring of three buffers, while the program converts and
// writes the rows of the batch before. It records no failure: a row that the
// thread could not read whole is read again by next_row with the checked
// operation, which then fails exactly where a plain read of that row would.
// Memory stays near 12 MiB whatever the size of the file.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "record_file.hpp"

namespace heightio {

// `count` rows of `row_bytes` bytes each, the first at byte `first_row_at`.
struct RowSpan {
  std::uint64_t first_row_at = 0;
  std::size_t row_bytes = 0;
  std::uint32_t count = 0;
};

class ReadAhead {
 public:
  // `file` has a record size of 1 and stays open while the ReadAhead lives.
  ReadAhead(RecordFile& file, const RowSpan& rows, bool from_last);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The bytes of the next row in the chosen order, valid until the next call.
  // A row that cannot be read whole records the failure (check_io raises it).
  const std::uint8_t* next_row();

  // Starts over at the first row of the new order, in the same buffers.
  void start_over(bool from_last);

 private:
  static constexpr std::size_t slots = 3;

  struct Batch {
    std::uint8_t* bytes = nullptr;
    std::uint32_t lowest_row = 0;  // the row of the file at bytes[0]
    std::size_t done = 0;          // bytes that arrived
  };

  void start();
  void stop();
  void release_slots();
  std::uint32_t batches() const;
  // The file rows of batch b: lowest and count.
  void rows_of_batch(std::uint32_t b, std::uint32_t& lowest, std::uint32_t& count) const;
  void fill(std::uint32_t b);
  void produce();
  void take_batch(std::uint32_t b);

  RecordFile& file_;
  RowSpan rows_;
  bool from_last_;
  std::uint32_t rows_per_batch_ = 1;
  std::size_t batch_bytes_ = 0;
  std::array<Batch, slots> slots_;
  std::vector<std::uint8_t> reread_row_;
  std::uint32_t served_ = 0;      // rows handed out
  std::int64_t held_batch_ = -1;  // the batch whose rows are being handed out

  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint32_t filled_ = 0;    // batches the thread has read
  std::uint32_t released_ = 0;  // batches the program is done with
  bool stop_ = false;
  bool producing_ = false;  // whether the thread may still fill batches
  std::thread
      thread_;  // not joinable when no thread could be started: batches are then read inline
};

}  // namespace heightio
