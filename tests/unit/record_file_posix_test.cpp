// How the layer opens its inputs, seen through the POSIX interfaces; the
// Windows build has its own checks of the same (platform_win32_test.cpp).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "record_file.hpp"
#include "settings.hpp"
#include "test_support.hpp"

namespace {

using namespace heightio;
using heightio_test::take_pending;
using heightio_test::temp_file;

TEST(RecordFileReads, InputsAreOpenedForReadingOnly) {
  // The handle's access mode holds for any user, root included, who may
  // write any file whatever its permissions.
  RecordFile file;
  open_existing(file, temp_file("input.bin", "data"), 1);
  ASSERT_EQ(take_pending(), 0);
  EXPECT_EQ(::fcntl(file.handle, F_GETFL) & O_ACCMODE, O_RDONLY);
  close_file(file);
  TextReader settings;
  open_text_input(settings, temp_file("settings.ini", "data\r\n"));
  ASSERT_EQ(take_pending(), 0);
  EXPECT_EQ(::fcntl(settings.handle, F_GETFL) & O_ACCMODE, O_RDONLY);
  close_text(settings);
}

TEST(RecordFileReads, ReadOnlyFilesOpenForReading) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may open any file; the access mode test holds";
  const std::string path = temp_file("readonly.bin", "data");
  std::filesystem::permissions(path, std::filesystem::perms::owner_read);
  RecordFile file;
  open_existing(file, path, 1);
  EXPECT_EQ(take_pending(), 0);
  close_file(file);
}

}  // namespace
