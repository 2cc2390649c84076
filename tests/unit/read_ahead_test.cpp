// Rows read again ahead of their use on a second thread, and prepared there.
#include "read_ahead.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <thread>
#include <utility>

#include "error_codes.hpp"
#include "test_support.hpp"

namespace {

using namespace heightio;
using heightio_test::take_pending;
using heightio_test::temp_file;

// Rows of 300 KiB, three to a batch of the read-ahead; every byte of row r is
// r + 1.
constexpr std::size_t row_bytes = 300 * 1024;

std::string rows_file(std::size_t rows, std::size_t extra_bytes = 0) {
  std::string bytes;
  for (std::size_t r = 0; r < rows; ++r) bytes.append(row_bytes, static_cast<char>(r + 1));
  bytes.append(extra_bytes, static_cast<char>(rows + 1));
  return bytes;
}

// Marks the rows at even places in byte 1 and leaves the others as they are.
bool mark_even_places(std::uint8_t* row, std::uint32_t place) {
  if (place % 2 != 0) return false;
  row[1] = static_cast<std::uint8_t>(0xA0 + place);
  return true;
}

TEST(ReadAhead, PreparedRowsComeInTheirOrderAndStayInPlaceWhileKept) {
  constexpr std::uint32_t count = 20;
  for (const bool from_last : {false, true}) {
    RecordFile file;
    open_existing(file, temp_file("rows.bin", rows_file(count)), 1);
    ASSERT_EQ(take_pending(), 0);
    ReadAhead ahead(file, {0, row_bytes, count}, false);
    for (std::uint32_t k = 0; k < count; ++k) {
      const AheadRow row = ahead.next_row();
      EXPECT_EQ(row.bytes[row_bytes - 1], k + 1);
      EXPECT_FALSE(row.prepared);
    }

    // A batch the thread has not come to when it is due is read by the
    // program, unprepared; a short pause lets the thread take the first ones.
    ahead.start_over(from_last, mark_even_places);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::deque<std::pair<const std::uint8_t*, std::uint32_t>> kept;  // bytes, file row
    std::uint32_t prepared = 0;
    for (std::uint32_t k = 0; k < count; ++k) {
      const AheadRow row = ahead.next_row();
      ASSERT_EQ(take_pending(), 0);
      const std::uint32_t r = from_last ? count - 1 - k : k;
      EXPECT_EQ(row.bytes[0], r + 1) << k;
      EXPECT_TRUE(!row.prepared || k % 2 == 0) << k;
      EXPECT_EQ(row.bytes[1], row.prepared ? 0xA0 + k : r + 1) << k;
      prepared += row.prepared ? 1 : 0;
      kept.emplace_back(row.bytes, r);
      if (kept.size() > ahead.rows_kept() + 1) kept.pop_front();
      // Time for the thread to fill every slot it may, so that one it must
      // not fill shows here.
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
      for (const auto& [bytes, kept_row] : kept)
        EXPECT_EQ(bytes[row_bytes - 1], kept_row + 1) << "row " << kept_row << " at " << k;
    }
    EXPECT_GT(prepared, 0u);
    close_file(file);
  }
}

TEST(ReadAhead, WhileTheThreadIsHeldUpTheProgramReadsTheNextBatchesItself) {
  // The thread stops 300 ms at its first row, as if the system gave its core
  // to another program; the program, waiting for the first batch, reads the
  // three after it meanwhile, unprepared.
  constexpr std::uint32_t count = 12;
  RecordFile file;
  open_existing(file, temp_file("rows.bin", rows_file(count)), 1);
  ReadAhead ahead(file, {0, row_bytes, count}, false);
  std::atomic<bool> held_up = false;
  ahead.start_over(false, [&held_up](std::uint8_t* row, std::uint32_t place) {
    if (place == 0) {
      held_up = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    return mark_even_places(row, place);
  });
  while (!held_up) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  for (std::uint32_t k = 0; k < count; ++k) {
    const AheadRow row = ahead.next_row();
    ASSERT_EQ(take_pending(), 0);
    EXPECT_EQ(row.bytes[0], k + 1) << k;
    EXPECT_EQ(row.prepared, k < 3 && k % 2 == 0) << k;
    EXPECT_EQ(row.bytes[1], row.prepared ? 0xA0 + k : k + 1) << k;
  }
  close_file(file);
}

TEST(ReadAhead, ARowTheFileNoLongerHoldsFailsWith100AndItsBatchIsNotPrepared) {
  // The span claims 9 rows; the file holds 7 and a half: the third batch,
  // rows 6 to 8, arrives short.
  RecordFile file;
  open_existing(file, temp_file("short.bin", rows_file(7, row_bytes / 2)), 1);
  ReadAhead ahead(file, {0, row_bytes, 9}, false);
  ahead.start_over(false, mark_even_places);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  for (std::uint32_t k = 0; k < 7; ++k) {
    const AheadRow row = ahead.next_row();
    ASSERT_EQ(take_pending(), 0);
    EXPECT_EQ(row.bytes[0], k + 1);
    EXPECT_TRUE(!row.prepared || (k < 6 && k % 2 == 0)) << k;
  }
  (void)ahead.next_row();
  EXPECT_EQ(take_pending(), code::short_read);
  close_file(file);
}

}  // namespace
