// The two phases of dempaint and demscan, which write their rows in the
// reverse order of reading them: a reading phase that reads every row in file
// order and prints its number, and a writing phase that takes the rows again
// in the order they are written.
//
// A regular file opened by name is read again where its rows lie, a batch of
// rows of about 1 MiB at a time on the pipeline's second thread, so that
// memory stays a few MiB at any image size. Each row read in the reading
// phase leaves its hash; read again, a row whose bytes differ fails with 154
// (the input changed while it was read), so that no row is written that the
// reading phase did not check. Any other input (a pipe, the standard input)
// cannot be read twice, and its rows are kept in a RowStore between the
// phases.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "pipeline.hpp"
#include "record_file.hpp"
#include "row_store.hpp"

namespace heightio {

// A row number followed by a carriage return, which the next number
// overwrites on a terminal.
void print_row_in_place(std::uint32_t r);

// A row number followed by a carriage return and a line end.
void print_row_on_line(std::uint32_t r);

// Two line ends: the close of each phase.
void print_phase_end();

// `count` rows of `row_bytes` bytes each, the first at byte `first_row_at`.
struct RowSpan {
  std::uint64_t first_row_at = 0;
  std::size_t row_bytes = 0;
  std::uint32_t count = 0;
};

enum class Order { first_to_last, last_to_first };

// How many of `count` rows of `row_bytes` bytes one batch holds: about 1 MiB
// of them, or two rows of more than 128 KiB; at least one.
std::uint32_t rows_per_batch(std::size_t row_bytes, std::uint32_t count);

// Converts a row where it lies for writing, the row at `place` (from 0) in
// the writing order: 0 or the run-time error code. It runs on either thread,
// so it must not record, print or throw.
using RowConversion = std::function<std::int32_t(std::uint8_t* row, std::uint32_t place)>;

class TwoPassRows {
 public:
  // `file` has a record size of 1; when it is not readable_again, it stands
  // at the first row.
  TwoPassRows(RecordFile& file, const RowSpan& rows);

  // Reading phase: the next row in file order. A row the file does not hold
  // whole records 100 (check_io raises it).
  const std::uint8_t* read_row();

  // Writing phase: from here on, rows come in `order`, each converted by
  // `convert` when it is given.
  void start_writing_phase(Order order, RowConversion convert = {});

  // Writing phase: the next row in that order, converted. A row the file no
  // longer holds whole records 100, one whose bytes changed 154, one that
  // cannot be converted the conversion's code.
  std::uint8_t* reread_row();

  // How many of the rows handed out last are still in place.
  std::uint32_t rows_kept() const;

 private:
  void start_pass(bool writing);
  JobResult read_batch(std::uint64_t b, std::uint8_t* slot, bool writing);
  std::uint8_t* next_row();

  RecordFile& file_;
  RowSpan rows_;
  Order order_ = Order::first_to_last;
  RowConversion convert_;
  std::uint32_t rows_per_batch_ = 1;
  std::vector<std::uint64_t> hashes_;  // by file row, from the reading phase
  std::optional<Pipeline> pipeline_;
  std::optional<RowStore> store_;
  std::uint32_t served_ = 0;
  std::int64_t held_batch_ = -1;
  Pipeline::Taken held_{};
};

}  // namespace heightio
