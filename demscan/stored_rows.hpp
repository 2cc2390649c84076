// The stored rows of an image in demscan's two phases: read in file order in
// the reading phase, handed out again as 4-byte pixels, left to right, in the
// order the raster is written.
//
// Uncompressed rows lie at fixed places: a regular file is read again there
// (TwoPassRows). A run-length encoded image gets an index in the reading
// phase, where each row begins and the state of a packet that runs on into it,
// so that each row can be read again and decoded alone. Rows of an image that
// cannot be read a second time (a pipe, the standard input) are kept in memory.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "row_store.hpp"
#include "tga_reader.hpp"
#include "two_pass.hpp"

namespace demscan {

class StoredRows {
 public:
  // `reader` stands at the first pixel and outlives the StoredRows.
  explicit StoredRows(PixelReader& reader);

  // Reading phase: the next stored row in file order. Pixel data that end
  // early fail with 100.
  void read_row();

  // Writing phase: from here on, rows come from the last to the first or
  // from the first to the last.
  void start_writing_phase(bool from_last);

  // Writing phase: the next stored row in that order, width pixels of 4
  // bytes, valid until the next call. A row the file no longer holds whole
  // fails with 100.
  const std::uint8_t* reread_row();

 private:
  PixelReader& reader_;
  std::vector<std::uint8_t> row_;
  std::optional<heightio::TwoPassRows> plain_;  // uncompressed
  std::optional<heightio::RowStore> store_;     // run-length encoded, read once
  std::vector<PackedRowStart> starts_;          // run-length encoded, read again
  bool from_last_ = true;
  std::uint32_t served_ = 0;
};

}  // namespace demscan
