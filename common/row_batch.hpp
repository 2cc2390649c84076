// Rows of an output file written several at a time, each row's number
// printed in place once the row is written, exactly as if every row had gone
// out with a write of its own followed by its number.
//
// The batch holds no bytes of its own: it writes the rows from where they lie
// (the buffers of the rows read again, or the rows kept in memory), all with
// one request. So it holds no more rows than the source keeps in place.
//
// A batch closes when it holds about 4 MiB or 64 rows, or at the row whose
// number would make the console hand text over to the system (at once on a
// terminal), so that a console that fails does so with the same rows written.
// A batch cut short by a failed write is finished row by row with the checked
// write, which fails at the very row an unbatched write would, after the
// numbers of the rows before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform.hpp"
#include "record_file.hpp"

namespace heightio {

class RowBatch {
 public:
  // `file` has a record size of 1. The rows added stay in place while
  // `rows_kept` more rows are added.
  RowBatch(RecordFile& file, std::size_t row_bytes, std::uint32_t rows_kept);

  // A complete row of row_bytes bytes; `number` is printed once it is written.
  void add(const std::uint8_t* row, std::uint32_t number);

  // Writes the rows held and prints their numbers; a failure is raised.
  // Call it before raising a failure found between rows, so that the rows
  // before it are written first.
  void flush();

 private:
  RecordFile& file_;
  std::size_t row_bytes_;
  std::size_t capacity_;  // rows one batch holds
  std::vector<platform::Piece> rows_;
  std::vector<std::uint32_t> numbers_;
  std::size_t text_bytes_ = 0;  // console bytes the held rows' numbers take
};

}  // namespace heightio
