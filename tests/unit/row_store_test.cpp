#include "row_store.hpp"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using heightio::RowStore;

TEST(RowStore, RowsKeepTheirBytesAcrossChunks) {
  // Rows of 256 KiB: 32 to a chunk, so 100 rows span four chunks.
  constexpr std::size_t row_bytes = 256 * 1024;
  RowStore store(row_bytes);
  for (int i = 0; i < 100; ++i) std::memset(store.add_row(), i, row_bytes);
  ASSERT_EQ(store.rows(), 100u);
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(store.row(i)[0], i);
    EXPECT_EQ(store.row(i)[row_bytes - 1], i);
  }
}

TEST(RowStore, RowsOfZeroBytesAreCountedWithoutMemory) {
  RowStore store(0);
  for (int i = 0; i < 65535; ++i) EXPECT_NE(store.add_row(), nullptr);
  EXPECT_EQ(store.rows(), 65535u);
}

}  // namespace
