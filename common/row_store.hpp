// The RowStore: a whole image held in memory between the reading phase and
// the writing phase of dempaint and demscan, which write the rows in the
// reverse order of reading them.
//
// Rows are added as they are read, so an input shorter than its header or
// settings claim costs no more memory than the rows it holds. Memory comes in
// chunks of about 8 MiB, backed by huge pages where the system allows, so that
// an image of gigabytes costs few page faults. When memory cannot be had,
// add_row ends the program with error 203, located in add_row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace heightio {

class RowStore {
 public:
  explicit RowStore(std::size_t row_bytes);
  ~RowStore();
  RowStore(const RowStore&) = delete;
  RowStore& operator=(const RowStore&) = delete;

  std::uint8_t* add_row();

  // Row i, counted from 0 in the order the rows were added.
  std::uint8_t* row(std::size_t i) const;

  std::size_t rows() const { return rows_; }

 private:
  std::size_t row_bytes_;
  std::size_t rows_per_chunk_;
  std::size_t rows_ = 0;
  std::vector<std::uint8_t*> chunks_;
};

}  // namespace heightio
