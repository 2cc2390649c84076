// The stored rows of an image in demscan's two phases: read in file order in
// the reading phase, handed out again in the order the raster is written,
// decoded into samples, each with what it adds to the pixel survey.
//
// Uncompressed rows lie at fixed places: a regular file is read again there
// (TwoPassRows), and rows of 4-byte pixels stored left to right are decoded on
// the pipeline's second thread. A run-length encoded image gets an index in
// the reading phase, where each row begins, the state of a packet that runs
// on into it and the hash of its stored bytes, so that each row can be read
// again, checked and decoded alone. Rows of an image that cannot be read a
// second time (a pipe, the standard input) are kept in memory.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "pixel_survey.hpp"
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

  // Writing phase: from here on, rows come in `order`, decoded in `mode`.
  void start_writing_phase(heightio::Order order, std::uint16_t mode);

  // Writing phase: the next stored row in that order, width samples. A row
  // the file no longer holds whole fails with 100, one whose stored bytes
  // changed since the reading phase with 154.
  const std::uint8_t* reread_row();

  // What the row handed out at `place` (from 0) in the writing phase adds to
  // the survey.
  const RowSurvey& survey(std::uint32_t place) const { return surveys_[place]; }

  // How many of the rows handed out last are still in place.
  std::uint32_t rows_kept() const;

 private:
  // Rows that are handed out where they were read, with no unpacking.
  bool handed_out_as_stored() const;
  // The next row of the ring that unpacked rows are handed out in.
  std::uint8_t* next_ring_row();
  std::uint8_t* unpacked_row(std::uint32_t place);

  PixelReader& reader_;
  std::size_t row_bytes_;
  std::vector<std::uint8_t> ring_;
  std::uint32_t ring_rows_ = 1;
  std::uint32_t ring_next_ = 0;
  std::optional<heightio::TwoPassRows> plain_;  // uncompressed
  std::optional<heightio::RowStore> store_;     // run-length encoded, read once
  std::vector<PackedRowStart> starts_;          // run-length encoded, read again
  heightio::Order order_ = heightio::Order::last_to_first;
  std::uint16_t mode_ = 0;
  std::uint32_t served_ = 0;
  std::vector<RowSurvey> surveys_;  // by place in the writing order
};

}  // namespace demscan
