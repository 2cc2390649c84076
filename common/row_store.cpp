#include "row_store.hpp"

#include <algorithm>

#include "error_codes.hpp"
#include "failure.hpp"
#include "platform.hpp"

namespace heightio {
namespace {

constexpr std::size_t chunk_target = std::size_t{8} << 20;

// A row of zero bytes still needs a distinct, valid address to hand out.
alignas(16) std::uint8_t empty_row_byte;

}  // namespace

RowStore::RowStore(std::size_t row_bytes)
    : row_bytes_(row_bytes),
      rows_per_chunk_(row_bytes == 0 ? SIZE_MAX
                                     : std::max<std::size_t>(1, chunk_target / row_bytes)) {}

RowStore::~RowStore() {
  for (std::uint8_t* chunk : chunks_) platform::release_pages(chunk, rows_per_chunk_ * row_bytes_);
}

std::uint8_t* RowStore::add_row() {
  if (row_bytes_ == 0) {
    ++rows_;
    return &empty_row_byte;
  }
  if (rows_ == chunks_.size() * rows_per_chunk_) {
    allocate_or_fail([&] { chunks_.reserve(chunks_.size() + 1); });
    void* chunk = platform::reserve_pages(rows_per_chunk_ * row_bytes_);
    if (chunk == nullptr) raise_at_call_site(code::out_of_memory);
    chunks_.push_back(static_cast<std::uint8_t*>(chunk));
  }
  return row(rows_++);
}

std::uint8_t* RowStore::row(std::size_t i) const {
  if (row_bytes_ == 0) return &empty_row_byte;
  return chunks_[i / rows_per_chunk_] + (i % rows_per_chunk_) * row_bytes_;
}

}  // namespace heightio
