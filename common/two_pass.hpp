// The two phases of dempaint and demscan, which write their rows in the
// reverse order of reading them: a reading phase that reads every row in file
// order and prints its number, and a writing phase that takes the rows again
// in the order they are written.
//
// A regular file opened by name is read again where its rows lie, with
// positioned reads ahead of their use on a second thread, so that memory stays
// a few MiB at any image size. Any other input (a pipe, the standard input)
// cannot be read twice, and its rows are kept in a RowStore between the phases.
#pragma once

#include <cstdint>
#include <optional>

#include "read_ahead.hpp"
#include "record_file.hpp"
#include "row_store.hpp"

namespace heightio {

// A row number followed by a carriage return, which the next number
// overwrites on a terminal.
void print_row_in_place(std::uint32_t r);

// A row number followed by a carriage return and a line end.
void print_row_on_line(std::uint32_t r);

// Two line ends: the close of the writing phase.
void print_phase_end();

// The close of the reading phase: two line ends, then the test hook below.
//
// Test hook: when the environment variable DEMTOOLS_PAUSE_BETWEEN_PHASES
// names a file, it is read to its end here. A test names a named pipe, so that
// the program waits between the phases until the test, having changed the
// input, closes the pipe's writing end. Nothing else reads the variable.
void end_reading_phase();

class TwoPassRows {
 public:
  // `file` has a record size of 1; when it is not readable_again, it stands
  // at the first row.
  TwoPassRows(RecordFile& file, const RowSpan& rows);

  // Reading phase: the next row in file order. A row the file does not hold
  // whole records 100 (check_io raises it).
  const std::uint8_t* read_row();

  // Writing phase: from here on, rows come from the last to the first or
  // from the first to the last. Rows read again from the file are prepared
  // on the reading thread by `prepare`, when it is given; rows kept in memory
  // never are.
  void start_writing_phase(bool from_last, RowPreparation prepare = {});

  // Writing phase: the next row in that order, which the program may change
  // in place. A row read again that the file no longer holds whole records
  // 100.
  AheadRow reread_row();

  // How many of the rows handed out last are still in place.
  std::uint32_t rows_kept() const;

 private:
  RecordFile& file_;
  RowSpan rows_;
  std::optional<ReadAhead> ahead_;
  std::optional<RowStore> store_;
  bool from_last_ = true;
  std::uint32_t served_ = 0;
};

}  // namespace heightio
