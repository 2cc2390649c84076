// The run-time error in plain words: what the layer keeps about a failure,
// and the line made from it.
#include "diagnostic.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "error_codes.hpp"
#include "platform.hpp"
#include "record_file.hpp"
#include "settings.hpp"
#include "test_support.hpp"

namespace {

using namespace heightio;
using heightio_test::take_pending;
using heightio_test::temp_file;

class PlainWords : public testing::Test {
 protected:
  void SetUp() override { set_program_name("dempaint"); }
  void TearDown() override { (void)take_pending(); }
};

// The system's own words for a missing file: error 2 on both systems.
std::string missing_file_words() {
  const std::string words = platform::os_error_text(ENOENT);
  EXPECT_FALSE(words.empty());
  EXPECT_FALSE(words.ends_with("\n")) << words;
  return words;
}

TEST_F(PlainWords, NameTheProgramTheStepThePathAndTheCause) {
  FailureContext open{Action::open, "raster", "terrain.raw", ENOENT, {}};
  EXPECT_EQ(explain_failure(code::file_not_found, &open),
            "dempaint: cannot open raster \"terrain.raw\": " + missing_file_words());

  const FailureContext number{Action::read_number, "settings file", "dempaint.ini", 0,
                              "\"12,5\" is not a whole number"};
  EXPECT_EQ(explain_failure(code::invalid_number, &number),
            "dempaint: cannot read a number from settings file \"dempaint.ini\": \"12,5\" is not a "
            "whole number");

  // Without words of its own the layer's code speaks; a standard stream has no path.
  const FailureContext stream{Action::write, "the standard output", {}, 0, {}};
  EXPECT_EQ(explain_failure(code::not_open_for_output, &stream),
            "dempaint: cannot write the standard output: no usable standard output");

  EXPECT_EQ(explain_failure(code::bad_image_format, nullptr),
            "dempaint: image layout not supported (error 13)");
}

TEST_F(PlainWords, PathsAreEscapedCutAndCheckedForLineFeeds) {
  const FailureContext lf{Action::create, "image", "a.tga\nb\r\x1b[2J\x7f", ENOENT, {}};
  EXPECT_EQ(explain_failure(code::file_not_found, &lf),
            "dempaint: cannot create image \"a.tga\\nb\\r\\x1B[2J\\x7F\": " + missing_file_words() +
                " (the path holds line feeds: settings lines must end with CR or CR LF)");

  const FailureContext long_path{
      Action::open, "raster", std::string(300, 'x') + "\xC3\xA9", ENOENT, {}};
  const std::string line = explain_failure(code::file_not_found, &long_path);
  EXPECT_NE(line.find("\"" + std::string(200, 'x') + "...\""), std::string::npos) << line;
}

TEST_F(PlainWords, TheLayerKeepsWhatEachFailedStepAskedFor) {
  RecordFile raster("raster");
  const std::string missing = temp_file("present.raw", "") + ".missing";
  open_existing(raster, missing, 4);
  const FailureContext* context = failure_context(code::file_not_found);
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(context->action, Action::open);
  EXPECT_EQ(context->subject, "raster");
  EXPECT_EQ(context->path, missing);
  EXPECT_EQ(context->os_error, ENOENT);
  EXPECT_EQ(take_pending(), code::file_not_found);

  open_existing(raster, temp_file("six.raw", "123456"), 4);
  float samples[2];
  read_block(raster, samples, 2);
  context = failure_context(code::short_read);
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(context->action, Action::read);
  EXPECT_EQ(context->detail, "the file ends early");
  EXPECT_EQ(take_pending(), code::short_read);
  close_file(raster);

  TextReader reader;
  open_text_input(reader, temp_file("bad.ini", "12px\r\n"));
  (void)read_int32(reader);
  context = failure_context(code::invalid_number);
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(context->subject, "settings file");
  EXPECT_EQ(context->detail, "\"12px\" is not a whole number");
  EXPECT_EQ(take_pending(), code::invalid_number);
  close_text(reader);
}

TEST_F(PlainWords, AFailureWithoutContextOrWithAnotherCodeHasNone) {
  FailureContext open{Action::open, "raster", "terrain.raw", ENOENT, {}};
  record_failure(code::file_not_found, open);
  EXPECT_EQ(failure_context(code::short_read), nullptr);
  record_failure(code::short_read);
  EXPECT_EQ(failure_context(code::short_read), nullptr);
  EXPECT_EQ(failure_context(code::file_not_found), nullptr);
}

}  // namespace
