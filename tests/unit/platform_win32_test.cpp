// What the layer does on Windows that the POSIX build has no need of: names
// decoded from UTF-8 or the ANSI code page, long paths, sharing, pipes, a
// missing standard handle, and the system's own error numbers and words.
#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <filesystem>
#include <string>

#include "console.hpp"
#include "error_codes.hpp"
#include "platform.hpp"
#include "record_file.hpp"
#include "row_store.hpp"
#include "settings.hpp"
#include "test_support.hpp"

namespace {

using namespace heightio;
using heightio_test::take_pending;
namespace fs = std::filesystem;

// A folder of the running test's own, as a path in the layer's bytes
// (UTF-8), without the files an earlier run left there, which could pass for
// this run's.
std::string fresh_folder() {
  const fs::path folder = fs::path(heightio_test::temp_file("unused", "")).parent_path();
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.is_regular_file()) fs::remove(entry.path());
  const std::u8string name = folder.u8string();
  return {name.begin(), name.end()};
}

// Creates `name` in `folder` through the layer, writes "data" and closes it.
void create_with_data(const std::string& path) {
  RecordFile file;
  create_file(file, path, 1);
  ASSERT_EQ(take_pending(), 0) << path;
  write_block(file, "data", 4);
  close_file(file);
  ASSERT_EQ(take_pending(), 0) << path;
}

TEST(WindowsPaths, Utf8NamesMeanTheirCharacters) {
  const std::string folder = fresh_folder();
  create_with_data(folder + "/h\xC3\xB6he \xE2\x82\xAC.bin");  // "höhe €.bin"
  EXPECT_EQ(fs::file_size(fs::path(folder) / L"h\u00F6he \u20AC.bin"), 4u);
}

TEST(WindowsPaths, OtherBytesAreReadInTheAnsiCodePage) {
  if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page here is " << GetACP() << ", not 1252";
  const std::string folder = fresh_folder();
  create_with_data(folder + "/h\xF6he \x80.bin");  // the same name as saved by an older editor
  EXPECT_EQ(fs::file_size(fs::path(folder) / L"h\u00F6he \u20AC.bin"), 4u);
}

TEST(WindowsPaths, PathsLongerThan259CharactersWork) {
  const fs::path folder = fs::path(fresh_folder()) / std::string(120, 'a') / std::string(120, 'b');
  fs::create_directories(folder);
  const std::string absolute = (folder / "terrain.raw").string();
  ASSERT_GT(absolute.size(), 259u);
  create_with_data(absolute);

  // Relative, with the separators and dots a settings file may hold.
  const fs::path previous = fs::current_path();
  fs::current_path(folder.parent_path().parent_path());
  const std::string relative = "./" + std::string(120, 'a') + "/../" + std::string(120, 'a') + "/" +
                               std::string(120, 'b') + "/terrain.raw";
  RecordFile file;
  open_existing(file, relative, 1);
  EXPECT_EQ(take_pending(), 0);
  std::array<char, 4> bytes{};
  read_block(file, bytes.data(), 4);
  EXPECT_EQ(std::string(bytes.data(), 4), "data");
  close_file(file);
  fs::current_path(previous);
  const platform::FileIdentity file_itself = platform::identify_path(absolute);
  EXPECT_EQ(file_itself.kind, platform::FileIdentity::Kind::regular);
  EXPECT_TRUE(platform::same_file_or_device(
      file_itself, platform::identify_path(folder.string() + "\\.\\terrain.raw")));
}

TEST(WindowsPaths, NulAndOverlongPathsAreRefusedBeforeTheSystemSeesThem) {
  RecordFile file;
  open_existing(file, std::string("a\0b", 3), 1);
  EXPECT_EQ(take_pending(), code::general_failure);
  open_existing(file, std::string(40000, 'a'), 1);
  EXPECT_EQ(take_pending(), code::path_not_found);
}

TEST(WindowsErrors, TheSystemsNumbersAreTheCodes) {
  const std::string folder = fresh_folder();
  RecordFile file;
  open_existing(file, folder + "/missing.bin", 1);
  EXPECT_EQ(take_pending(), ERROR_FILE_NOT_FOUND);
  open_existing(file, folder + "/missing/inner.bin", 1);
  EXPECT_EQ(take_pending(), ERROR_PATH_NOT_FOUND);
  create_file(file, folder, 1);
  EXPECT_EQ(take_pending(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(platform::last_refusal(), ERROR_ACCESS_DENIED);

  // The system's words, without its line end.
  const std::string words = platform::os_error_text(ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(words.empty());
  EXPECT_EQ(words.find_first_of("\r\n"), std::string::npos) << words;
}

TEST(WindowsAccess, InputsAreOpenedForReadingOnly) {
  // A write through the handle of an input is refused by the system.
  RecordFile file;
  open_existing(file, heightio_test::temp_file("input.bin", "data"), 1);
  ASSERT_EQ(take_pending(), 0);
  DWORD put = 0;
  EXPECT_FALSE(WriteFile(reinterpret_cast<HANDLE>(file.handle), "x", 1, &put, nullptr));
  close_file(file);
  TextReader settings;
  open_text_input(settings, heightio_test::temp_file("settings.ini", "data\r\n"));
  ASSERT_EQ(take_pending(), 0);
  EXPECT_FALSE(WriteFile(reinterpret_cast<HANDLE>(settings.handle), "x", 1, &put, nullptr));
  close_text(settings);
}

TEST(WindowsAccess, ReadOnlyFilesAreRead) {
  const std::string path = heightio_test::temp_file("readonly.bin", "data");
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  RecordFile file;
  open_existing(file, path, 1);
  EXPECT_EQ(take_pending(), 0);
  close_file(file);
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(WindowsIdentity, AStandardOutputThatIsTheInputIsRefusedWith32) {
  // Wine's own standard handles, made from Linux descriptors, answer no
  // question about their file; a handle of a Windows parent, as here, does.
  const std::string path = heightio_test::temp_file("input.bin", "data");
  RecordFile input("raster");
  open_existing(input, path, 1);
  ASSERT_EQ(take_pending(), 0);
  const HANDLE same = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const HANDLE other = CreateFileA(heightio_test::temp_file("other.bin", "").c_str(), GENERIC_WRITE,
                                   0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(same, INVALID_HANDLE_VALUE);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  RecordFile image("image");
  SetStdHandle(STD_OUTPUT_HANDLE, same);
  refuse_output_over_inputs(image, "", {input_of(input)});
  const std::int32_t over_the_input = take_pending();
  SetStdHandle(STD_OUTPUT_HANDLE, other);
  refuse_output_over_inputs(image, "", {input_of(input)});
  const std::int32_t elsewhere = take_pending();
  SetStdHandle(STD_OUTPUT_HANDLE, output);
  CloseHandle(same);
  CloseHandle(other);
  close_file(input);
  EXPECT_EQ(over_the_input, code::sharing_violation);
  EXPECT_EQ(elsewhere, 0);
}

TEST(WindowsSharing, AFileHeldWithoutSharingGives32AndStaysAsItWas) {
  const std::string path = heightio_test::temp_file("held.bin", "kept");
  const HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  RecordFile file;
  open_existing(file, path, 1);
  EXPECT_EQ(take_pending(), code::sharing_violation);
  create_file(file, path, 1);
  EXPECT_EQ(take_pending(), code::sharing_violation);
  CloseHandle(held);
  EXPECT_EQ(fs::file_size(path), 4u);

  // The layer's own files share reading and writing: an input can be read
  // while another program writes it.
  RecordFile writer, reader;
  create_file(writer, path, 1);
  open_existing(reader, path, 1);
  EXPECT_EQ(take_pending(), 0);
  close_file(reader);
  close_file(writer);
}

TEST(WindowsPipes, EndsAndBreaks) {
  HANDLE read_end = nullptr, write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  std::size_t done = 0;
  ASSERT_EQ(platform::write_fully(reinterpret_cast<platform::Handle>(write_end), "ab", 2, done), 0);
  CloseHandle(write_end);
  // A writer gone ends the data.
  std::array<char, 8> bytes{};
  EXPECT_EQ(
      platform::read_fully(reinterpret_cast<platform::Handle>(read_end), bytes.data(), 8, done), 0);
  EXPECT_EQ(done, 2u);
  EXPECT_EQ(platform::seek_to(reinterpret_cast<platform::Handle>(read_end), 0), code::seek_on_pipe);
  CloseHandle(read_end);

  // A reader gone breaks the pipe for the writer.
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  CloseHandle(read_end);
  EXPECT_EQ(platform::write_fully(reinterpret_cast<platform::Handle>(write_end), "ab", 2, done),
            code::broken_pipe);
  CloseHandle(write_end);
}

TEST(WindowsConsole, AMissingStandardOutputFailsAsOnEverySystem) {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
  console_state() = Console{};
  write_text("x");
  const std::int32_t at_write = take_pending();
  write_line_end();
  const std::int32_t at_line_end = take_pending();
  SetStdHandle(STD_OUTPUT_HANDLE, output);
  console_state() = Console{};
  EXPECT_EQ(at_write, code::not_open_for_output);
  EXPECT_EQ(at_line_end, code::file_not_open);
}

TEST(WindowsMemory, ChunksThatCannotBeHadEndIn203) {
  // A row of 2^45 bytes: no system commits a chunk of it.
  RowStore store(std::size_t{1} << 45);
  std::int32_t code = 0;
  try {
    store.add_row();
  } catch (const IoError& error) {
    code = error.code;
  }
  EXPECT_EQ(code, code::out_of_memory);
  RowStore small(1024);
  EXPECT_NE(small.add_row(), nullptr);
}

// A double click in Explorer gives the program a console of its own, which
// closes with it; a Command Prompt's console holds the prompt's process too.
TEST(DoubleClick, OnlyAWindowOfItsOwnThatShowsTheOutputWaitsForEnter) {
  EXPECT_TRUE(platform::window_is_own(1, true));
  EXPECT_FALSE(platform::window_is_own(2, true));   // started from a console
  EXPECT_FALSE(platform::window_is_own(1, false));  // output redirected
}

}  // namespace
