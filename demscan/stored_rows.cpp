#include "stored_rows.hpp"

#include <algorithm>

#include "failure.hpp"

namespace demscan {

using namespace heightio;

StoredRows::StoredRows(PixelReader& reader)
    : reader_(reader), row_bytes_(std::size_t{reader.layout.width} * pixel_size) {
  const TgaLayout& layout = reader_.layout;
  if (!layout.run_length_encoded)
    plain_.emplace(*reader_.image,
                   RowSpan{pixel_data_start(layout), stored_row_bytes(layout), layout.height});
  else if (!readable_again(*reader_.image))
    store_.emplace(row_bytes_);
  // Rows that are unpacked, or read again and decoded one by one, go through a
  // ring of buffers, a batch of them, so that they stay in place while they
  // wait to be written.
  if (!handed_out_as_stored()) {
    ring_rows_ = rows_per_batch(row_bytes_, layout.height);
    allocate_or_fail([&] { ring_.resize(std::max<std::size_t>(ring_rows_ * row_bytes_, 1)); });
  }
}

bool StoredRows::handed_out_as_stored() const {
  const TgaLayout& layout = reader_.layout;
  if (plain_) return layout.stored_pixel_size == pixel_size && !layout.right_to_left;
  return store_.has_value();
}

std::uint8_t* StoredRows::next_ring_row() {
  std::uint8_t* row = ring_.data() + std::size_t{ring_next_} * row_bytes_;
  ring_next_ = (ring_next_ + 1) % ring_rows_;
  return row;
}

const std::uint8_t* StoredRows::read_row() {
  if (plain_) {
    const std::uint8_t* stored = plain_->read_row();
    check_io();
    if (handed_out_as_stored()) return stored;
    std::uint8_t* row = next_ring_row();
    unpack_plain_row(reader_.layout, stored, row);
    return row;
  }
  std::uint8_t* row = store_ ? store_->add_row() : next_ring_row();
  if (!store_) starts_.push_back(packed_row_start(reader_));
  read_pixel_row(reader_, row);
  if (!store_) starts_.back().hash = reader_.row_hash;
  return row;
}

void StoredRows::start_writing_phase(Order order, std::uint16_t mode) {
  order_ = order;
  mode_ = mode;
  served_ = 0;
  allocate_or_fail([&] { surveys_.resize(reader_.layout.height); });
  if (plain_ && handed_out_as_stored())
    plain_->start_writing_phase(order, [this](std::uint8_t* row, std::uint32_t place) {
      surveys_[place] = decode_row_in_place({row, row_bytes_}, mode_);
      return 0;
    });
  else if (plain_)
    plain_->start_writing_phase(order);
  if (!plain_ && !store_) starts_.push_back(packed_row_start(reader_));  // where the data end
}

// A row that is not handed out as stored, in 4-byte pixels left to right.
std::uint8_t* StoredRows::unpacked_row(std::uint32_t place) {
  if (plain_) {
    const std::uint8_t* stored = plain_->reread_row();
    check_io();
    std::uint8_t* row = next_ring_row();
    unpack_plain_row(reader_.layout, stored, row);
    return row;
  }
  const std::uint32_t r =
      order_ == Order::last_to_first ? reader_.layout.height - 1 - place : place;
  if (store_) return store_->row(r);
  std::uint8_t* row = next_ring_row();
  reread_packed_row(reader_, r, starts_[r], starts_[r + 1].at, row);
  return row;
}

const std::uint8_t* StoredRows::reread_row() {
  const std::uint32_t place = served_++;
  if (plain_ && handed_out_as_stored()) return plain_->reread_row();
  std::uint8_t* row = unpacked_row(place);
  surveys_[place] = decode_row_in_place({row, row_bytes_}, mode_);
  return row;
}

std::uint32_t StoredRows::rows_kept() const {
  if (!handed_out_as_stored()) return ring_rows_;
  return plain_ ? plain_->rows_kept() : reader_.layout.height;
}

}  // namespace demscan
