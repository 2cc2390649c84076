#include "stored_rows.hpp"

#include "failure.hpp"

namespace demscan {

using namespace heightio;

StoredRows::StoredRows(PixelReader& reader)
    : reader_(reader), row_(std::size_t{reader.layout.width} * pixel_size) {
  const TgaLayout& layout = reader_.layout;
  if (!layout.run_length_encoded)
    plain_.emplace(*reader_.image,
                   RowSpan{pixel_data_start(layout), stored_row_bytes(layout), layout.height});
  else if (!readable_again(*reader_.image))
    store_.emplace(row_.size());
}

void StoredRows::read_row() {
  if (plain_) {
    (void)plain_->read_row();
    check_io();
  } else if (store_) {
    read_pixel_row(reader_, store_->add_row());
  } else {
    starts_.push_back(packed_row_start(reader_));
    read_pixel_row(reader_, row_.data());
  }
}

void StoredRows::start_writing_phase(bool from_last) {
  from_last_ = from_last;
  served_ = 0;
  if (plain_) plain_->start_writing_phase(from_last);
  if (!plain_ && !store_) starts_.push_back(packed_row_start(reader_));  // where the data end
}

const std::uint8_t* StoredRows::reread_row() {
  const TgaLayout& layout = reader_.layout;
  if (plain_) {
    const std::uint8_t* stored = plain_->reread_row();
    check_io();
    if (layout.stored_pixel_size == pixel_size && !layout.right_to_left) return stored;
    unpack_plain_row(layout, stored, row_.data());
    return row_.data();
  }
  const std::uint32_t k = served_++;
  const std::uint32_t r = from_last_ ? layout.height - 1 - k : k;
  if (store_) return store_->row(r);
  reread_packed_row(reader_, r, starts_[r], starts_[r + 1].at, row_.data());
  return row_.data();
}

}  // namespace demscan
