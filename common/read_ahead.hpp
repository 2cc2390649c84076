// Rows of equal size read from a regular file on a second thread, ahead of
// their use, in file order or from the last row to the first.
//
// The thread reads batches of whole rows of about 1 MiB with one positioned
// read each, into a ring of four buffers, while the program writes the rows
// of the batches before. It can also prepare each row where it lies (convert
// it for writing) so that the program's own thread is left with the writing.
// A program that would have to wait for the thread reads the next batches
// itself meanwhile, unprepared, so a thread that the system keeps off a core
// costs little. The thread records no failure: a row that the thread could not read whole is read
// again by next_row with the checked operation, which then fails exactly where
// a plain read of that row would, and a row it did not prepare is handed out
// as read, for the program to convert with its checked operations.
// Memory stays near 4 MiB whatever the size of the file.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
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

// Work done on the reading thread on each row of a batch that arrived whole:
// it converts the row in place and says whether it could. It is given the
// row's place in the order the rows are handed out, counted from 0. It must
// not fail, print or touch what the program's thread uses meanwhile.
using RowPreparation = std::function<bool(std::uint8_t* row, std::uint32_t place)>;

// A row handed out: its bytes, which the program may change, and whether the
// reading thread prepared it.
struct AheadRow {
  std::uint8_t* bytes = nullptr;
  bool prepared = false;
};

class ReadAhead {
 public:
  // `file` has a record size of 1 and stays open while the ReadAhead lives.
  ReadAhead(RecordFile& file, const RowSpan& rows, bool from_last);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The next row in the chosen order. Its bytes stay where they are while
  // rows_kept() more rows are handed out. A row that cannot be read whole
  // records the failure (check_io raises it).
  AheadRow next_row();

  // How many of the rows handed out last are still in place.
  std::uint32_t rows_kept() const { return rows_per_batch_; }

  // Starts over at the first row of the new order, in the same buffers, with
  // the rows prepared by `prepare` when it is given.
  void start_over(bool from_last, RowPreparation prepare = {});

 private:
  // The program holds two batches (the rows it hands out and the rows before
  // them, which it may still be writing) while the thread fills the others.
  static constexpr std::size_t slots = 4;

  struct Batch {
    std::uint8_t* bytes = nullptr;
    std::int64_t ready = -1;             // the batch whose bytes are here, once read
    std::uint32_t lowest_row = 0;        // the row of the file at bytes[0]
    std::size_t done = 0;                // bytes that arrived
    std::vector<std::uint8_t> prepared;  // 1 for each row the thread prepared
  };

  void start();
  void stop();
  void release_slots();
  std::uint32_t batches() const;
  // The file rows of batch b: lowest and count.
  void rows_of_batch(std::uint32_t b, std::uint32_t& lowest, std::uint32_t& count) const;
  // Whether the next batch may be claimed (the mutex held): there is one,
  // and its slot is free.
  bool claimable() const;
  // Reads batch b into its slot and, when `prepare` and the batch arrived
  // whole, prepares its rows; then marks it ready.
  void fill(std::uint32_t b, bool prepare);
  void produce();
  void prepare_batch(std::uint32_t b);
  void take_batch(std::uint32_t b);

  RecordFile& file_;
  RowSpan rows_;
  bool from_last_;
  RowPreparation prepare_;
  std::uint32_t rows_per_batch_ = 1;
  std::size_t batch_bytes_ = 0;
  std::size_t used_slots_ = 0;
  std::uint8_t* pages_ = nullptr;  // the slots' memory
  std::array<Batch, slots> slots_;
  std::uint32_t served_ = 0;      // rows handed out
  std::int64_t held_batch_ = -1;  // the batch whose rows are being handed out

  // Batches are claimed in order, each by the thread or, when the program
  // would otherwise wait, by the program itself, and read by whoever claimed
  // it: so a thread that the system leaves waiting for a core holds nothing
  // up but the batch it has in hand.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint32_t claimed_ = 0;   // batches claimed for reading
  std::uint32_t released_ = 0;  // batches the program is done with
  bool ended_ = false;          // a batch came short: the file ends there
  bool stop_ = false;
  std::thread thread_;  // not joinable when no thread could be started
};

}  // namespace heightio
