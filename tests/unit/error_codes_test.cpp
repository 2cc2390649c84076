// The code's table of run-time errors is the one source: the README and the
// user guide document exactly the codes that can end a program, each in the
// table's words, and the operating system's error numbers map onto it.
#include "error_codes.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

using namespace heightio;

// The code and meaning columns of the table rows below `heading` in a
// document of the sources, up to the next heading of the same level.
std::map<int, std::string> documented_codes(const std::string& document,
                                            const std::string& heading) {
  std::ifstream in(std::string(DEMTOOLS_SOURCE_DIR) + "/" + document);
  EXPECT_TRUE(in) << document;
  std::map<int, std::string> codes;
  bool inside = false;
  for (std::string text; std::getline(in, text);) {
    if (text.starts_with("## ")) inside = text == heading;
    // A row "| 123 | meaning |...".
    const std::size_t digits_end = text.find_first_not_of("0123456789", 2);
    if (!inside || !text.starts_with("| ") || digits_end == 2 || digits_end == std::string::npos ||
        text.compare(digits_end, 3, " | ") != 0)
      continue;
    const std::size_t meaning_end = text.find(" |", digits_end + 3);
    if (meaning_end == std::string::npos) continue;
    codes[std::stoi(text.substr(2, digits_end - 2))] =
        text.substr(digits_end + 3, meaning_end - digits_end - 3);
  }
  return codes;
}

void expect_documented_as_in_the_table(const std::string& document, const std::string& heading) {
  SCOPED_TRACE(document);
  std::map<int, std::string> documented = documented_codes(document, heading);
  for (const CodeText& entry : code_texts()) {
    const auto row = documented.find(entry.code);
    if (!entry.ends_a_program) {
      EXPECT_EQ(row, documented.end()) << entry.code << " never ends a program";
      continue;
    }
    ASSERT_NE(row, documented.end()) << entry.code << " is not documented";
    // The table's words, then at most a remark in parentheses.
    const std::string& meaning = row->second;
    EXPECT_TRUE(meaning == entry.text || meaning.starts_with(std::string(entry.text) + " ("))
        << entry.code << ": \"" << meaning << "\" is not \"" << entry.text << "\"";
    documented.erase(row);
  }
  for (const auto& [code, meaning] : documented)
    ADD_FAILURE() << code << " (" << meaning << ") is documented but not in the table";
}

TEST(ErrorTable, TheReadmeAndTheGuideDocumentItsCodesInItsWords) {
  expect_documented_as_in_the_table("README.md", "## Run-time errors");
  expect_documented_as_in_the_table("docs/user-guide.md", "## Errors");
}

TEST(ErrorMapping, OperatingSystemErrorsBecomeRunTimeCodes) {
  EXPECT_EQ(code_for_os_error(ENOENT, OsRequest::open, false), 2);
  EXPECT_EQ(code_for_os_error(ENOENT, OsRequest::open, true), 3);
  EXPECT_EQ(code_for_os_error(ENOTDIR, OsRequest::open, false), 3);
  EXPECT_EQ(code_for_os_error(EACCES, OsRequest::open, false), 5);
  EXPECT_EQ(code_for_os_error(EISDIR, OsRequest::open, false), 5);
  EXPECT_EQ(code_for_os_error(ETXTBSY, OsRequest::open, false), 32);
  EXPECT_EQ(code_for_os_error(ENOSPC, OsRequest::write, false), 112);
  EXPECT_EQ(code_for_os_error(EFBIG, OsRequest::write, false), 112);
  EXPECT_EQ(code_for_os_error(EINVAL, OsRequest::seek, false), 131);
  EXPECT_EQ(code_for_os_error(EINVAL, OsRequest::open, false), 31);
  EXPECT_EQ(code_for_os_error(ESPIPE, OsRequest::seek, false), 132);
  EXPECT_EQ(code_for_os_error(EIO, OsRequest::read, false), 100);
  EXPECT_EQ(code_for_os_error(EIO, OsRequest::write, false), 101);
  EXPECT_EQ(code_for_os_error(EPIPE, OsRequest::write, false), 109);
  EXPECT_EQ(code_for_os_error(EMFILE, OsRequest::open, false), 4);
  EXPECT_EQ(code_for_os_error(ENOMEM, OsRequest::read, false), 31);
}

}  // namespace
