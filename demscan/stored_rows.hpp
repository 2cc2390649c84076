// The stored rows of an image in demscan's two phases: read in file order in
// the reading phase, handed out again as 4-byte pixels, left to right, in the
// order the raster is written.
//
// Uncompressed rows lie at fixed places: a regular file is read again there
// (TwoPassRows), and rows of 4-byte pixels stored left to right can be
// decoded on its reading thread. A run-length encoded image gets an index in the reading
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

  // Reading phase: the next stored row in file order, width pixels of 4
  // bytes, valid until the next call. Pixel data that end early fail with 100.
  const std::uint8_t* read_row();

  // Writing phase: from here on, rows come from the last to the first or
  // from the first to the last. Rows that are read again as they are stored
  // are prepared on the reading thread by `prepare`, when it is given.
  void start_writing_phase(bool from_last, heightio::RowPreparation prepare = {});

  // Writing phase: the next stored row in that order, width pixels of 4
  // bytes, which the program may change in place. A row the file no longer
  // holds whole fails with 100.
  heightio::AheadRow reread_row();

  // How many of the rows handed out last are still in place.
  std::uint32_t rows_kept() const;

 private:
  // Rows that are handed out as stored, with no unpacking.
  bool handed_out_as_stored() const;
  // The next row of the ring that unpacked rows are handed out in.
  std::uint8_t* next_ring_row();

  PixelReader& reader_;
  std::size_t row_bytes_;
  std::vector<std::uint8_t> ring_;
  std::uint32_t ring_rows_ = 1;
  std::uint32_t ring_next_ = 0;
  std::optional<heightio::TwoPassRows> plain_;  // uncompressed
  std::optional<heightio::RowStore> store_;     // run-length encoded, read once
  std::vector<PackedRowStart> starts_;          // run-length encoded, read again
  bool from_last_ = true;
  std::uint32_t served_ = 0;
};

}  // namespace demscan
