// The writing phase of dempaint and demscan: rows written several at a time,
// each row's number printed in place once the row is written, exactly as if
// every row had gone out with a write of its own followed by its number.
//
// A batch holds no bytes of its own: it writes the rows from where they lie
// (the slots of the rows read again, or the rows kept in memory), all with
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
#include <functional>

#include "record_file.hpp"

namespace heightio {

// Writes `count` rows of `row_bytes` bytes to `file` (record size 1): row i
// is next_row(i), which stays in place while `rows_kept` more rows are taken,
// and number(i) is printed once it is written. A failure that next_row
// records is raised after the rows before it are written.
void write_rows(RecordFile& file, std::size_t row_bytes, std::uint32_t rows_kept,
                std::uint32_t count,
                const std::function<const std::uint8_t*(std::uint32_t)>& next_row,
                const std::function<std::uint32_t(std::uint32_t)>& number);

}  // namespace heightio
