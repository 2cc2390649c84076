// Helpers shared by the unit tests of the layer.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "failure.hpp"
#include "test_data.hpp"

namespace heightio_test {

// The pending I/O result, taken out as check_io would raise it; 0 when none.
inline std::int32_t take_pending() {
  try {
    heightio::check_io();
    return 0;
  } catch (const heightio::IoError& error) {
    return error.code;
  }
}

// A folder of this test process's own under the build folder, removed when
// the process ends, since ctest runs the tests in parallel processes.
inline const std::filesystem::path& scratch_folder() {
  struct Folder {
    std::filesystem::path path =
        std::filesystem::path(DEMTOOLS_TEST_SCRATCH) / std::to_string(::getpid());
    ~Folder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  };
  static const Folder folder;
  return folder.path;
}

// A file with the given bytes in a folder of the running test's own.
inline std::string temp_file(const std::string& name, std::string_view bytes) {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  const std::filesystem::path dir =
      scratch_folder() / (std::string(test->test_suite_name()) + "." + test->name());
  std::filesystem::create_directories(dir);
  const std::filesystem::path path = dir / name;
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path.string();
}

}  // namespace heightio_test
