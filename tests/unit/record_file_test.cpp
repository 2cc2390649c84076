#include "record_file.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

#include "error_codes.hpp"
#include "settings.hpp"
#include "test_support.hpp"

namespace {

using namespace heightio;
using heightio_test::take_pending;
using heightio_test::temp_file;

TEST(RecordFileReads, ShortBlockKeepsWholeRecordsAndFailsWith100) {
  RecordFile file;
  open_existing(file, temp_file("six.bin", "abcdef"), 4);
  ASSERT_EQ(take_pending(), 0);
  std::array<char, 8> dest{};
  read_block(file, dest.data(), 2);
  EXPECT_EQ(take_pending(), code::short_read);
  EXPECT_EQ(std::string(dest.data(), 6), "abcdef");
  read_block(file, dest.data(), 0);
  EXPECT_EQ(take_pending(), 0);
  close_file(file);
  EXPECT_EQ(take_pending(), 0);
}

TEST(RecordFileReads, SeekPastTheEndSucceedsAndTheReadFails) {
  RecordFile file;
  open_existing(file, temp_file("eight.bin", "01234567"), 4);
  std::array<char, 4> dest{};
  seek_record(file, 1);
  read_block(file, dest.data(), 1);
  EXPECT_EQ(take_pending(), 0);
  EXPECT_EQ(std::string(dest.data(), 4), "4567");
  seek_record(file, std::uint64_t{1} << 29);  // byte position 2^31: valid, past the end
  EXPECT_EQ(take_pending(), 0);
  read_block(file, dest.data(), 1);
  EXPECT_EQ(take_pending(), code::short_read);
  seek_record(file, UINT64_MAX / 2);
  EXPECT_EQ(take_pending(), code::negative_seek);
  close_file(file);
}

TEST(RecordFileReads, PositionedReadsLeaveTheFilePositionAndFailShortWith100) {
  RecordFile file;
  open_existing(file, temp_file("twelve.bin", "0123456789AB"), 4);
  std::array<char, 8> dest{};
  read_block_at(file, 2, dest.data(), 1);
  EXPECT_EQ(take_pending(), 0);
  EXPECT_EQ(std::string(dest.data(), 4), "89AB");
  read_block(file, dest.data(), 1);  // still at the start
  EXPECT_EQ(std::string(dest.data(), 4), "0123");
  read_block_at(file, 2, dest.data(), 2);
  EXPECT_EQ(take_pending(), code::short_read);
  EXPECT_TRUE(readable_again(file));
  close_file(file);
  EXPECT_FALSE(readable_again(file));
  open_existing(file, "", 1);  // the standard input starts wherever its reader left it
  EXPECT_FALSE(readable_again(file));
}

TEST(RecordFileOpens, MissingFilesDirectoriesAndClosedFiles) {
  const std::string present = temp_file("present.bin", "x");
  RecordFile file;
  open_existing(file, present + ".missing", 1);
  EXPECT_EQ(take_pending(), code::file_not_found);
  EXPECT_FALSE(file.is_open);
  open_existing(file, present + ".d/inner.bin", 1);
  EXPECT_EQ(take_pending(), code::path_not_found);
  open_existing(file, std::filesystem::path(present).parent_path().string(), 1);
  EXPECT_EQ(take_pending(), code::access_denied);
  create_file(file, std::filesystem::path(present).parent_path().string(), 1);
  EXPECT_EQ(take_pending(), code::access_denied);
  open_existing(file, std::string("pre\0sent", 8), 1);
  EXPECT_EQ(take_pending(), code::general_failure);

  std::array<char, 1> byte{};
  read_block(file, byte.data(), 1);
  EXPECT_EQ(take_pending(), code::file_not_open);
  seek_record(file, 0);
  EXPECT_EQ(take_pending(), code::file_not_open);
  close_file(file);
  EXPECT_EQ(take_pending(), code::file_not_open);
}

TEST(RecordFileWrites, CreateEmptiesAtOnceAndWritesReachTheFile) {
  const std::string path = temp_file("out.bin", "old contents");
  RecordFile file;
  create_file(file, path, 1);
  EXPECT_EQ(take_pending(), 0);
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
  write_block(file, "new", 3);
  EXPECT_EQ(take_pending(), 0);
  EXPECT_EQ(std::filesystem::file_size(path), 3u);
  close_file(file);
  EXPECT_EQ(take_pending(), 0);
}

TEST(RecordFileWrites, FullDiskGives112) {
  RecordFile file;
  create_file(file, "/dev/full", 1);
  ASSERT_EQ(take_pending(), 0);
  write_block(file, "x", 1);
  EXPECT_EQ(take_pending(), code::disk_full);
  close_file(file);
}

}  // namespace
