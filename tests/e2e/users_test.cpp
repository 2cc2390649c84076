// What a person meets at a terminal: --help and --version, and the run-time
// error told in plain words on the standard error when that is a terminal,
// with every byte of redirected output, of the files and the exit status
// unchanged.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "harness.hpp"
#include "terminal_run.hpp"

namespace {

using namespace e2e;

struct Program {
  const char* name;
  const char* path;
  const char* settings;
};

const std::vector<Program> programs = {{"demtiler", DEMTILER_PATH, "demtiler.ini"},
                                       {"dempaint", DEMPAINT_PATH, "dempaint.ini"},
                                       {"demscan", DEMSCAN_PATH, "demscan.ini"},
                                       {"demjoin", DEMJOIN_PATH, "demjoin.ini"}};

TerminalRun run_in(const Workspace& ws, const Program& program, std::vector<std::string> args,
                   Attach out = Attach::pipe, Attach err = Attach::pipe) {
  return run_attached(program.path, args, ws.dir(), out, err);
}

TEST(HelpAndVersion, AnswerOnTheStandardOutputAndTouchNoFile) {
  for (const Program& program : programs) {
    SCOPED_TRACE(program.name);
    Workspace ws;
    // Settings that would make a run fail at once, to show that none is made.
    ws.write(program.settings, crlf_lines({"missing.raw", "out.bin", "4", "4"}));
    const Snapshot before = ws.snapshot();

    const TerminalRun help = run_in(ws, program, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_TRUE(help.out.starts_with(std::string("Usage: ") + program.name)) << help.out;
    EXPECT_NE(help.out.find(program.settings), std::string::npos);
    EXPECT_NE(help.out.find("printf '"), std::string::npos) << "an example settings file";
    EXPECT_NE(help.out.find("user-guide.md"), std::string::npos);
    EXPECT_NE(help.out.find("DEMTOOLS_DIAGNOSTICS=1"), std::string::npos);
    EXPECT_EQ(help.out.find('\r'), std::string::npos);
    for (const char* windows_habit : {"-h", "/?", "-?"})
      EXPECT_EQ(run_in(ws, program, {windows_habit}).out, help.out) << windows_habit;
    EXPECT_EQ(run_in(ws, program, {"ignored", "--help", "--version"}).out, help.out);

    const TerminalRun version = run_in(ws, program, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string(program.name) + " (demtools) " DEMTOOLS_VERSION "\n");

    EXPECT_EQ(ws.snapshot(), before);
  }
}

TEST(HelpAndVersion, OtherArgumentsAreIgnored) {
  Workspace ws;
  ws.write("dempaint.ini", crlf_lines({"terrain.raw", "terrain.tga", "1", "1"}));
  ws.write("terrain.raw", float_bytes({7.0f}));
  const TerminalRun run = run_in(ws, programs[1], {"--helpme", "-v", "terrain.raw"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "1\r\r\n\r\n1\r\r\n\r\n");
  EXPECT_TRUE(ws.exists("terrain.tga"));
}

TEST(HelpAndVersion, AnAnswerThatCannotBeWrittenIsAFailure) {
  const int status = std::system((shell_command(DEMPAINT_PATH) + " --help >/dev/full").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 112);
}

TEST(TerminalOutput, EachPrintStepShowsBeforeTheNextStepRuns) {
  if (through_launcher()) GTEST_SKIP() << launcher_limit::terminal;
  // dempaint reads its raster row by row from a pipe here: each row number
  // must be on the terminal before the next row is given, although it is far
  // from filling the console's 128 bytes.
  Workspace ws;
  ws.write("dempaint.ini", crlf_lines({"", "terrain.tga", "1", "3"}));
  TerminalSession session(DEMPAINT_PATH, ws.dir());
  for (int r = 1; r <= 3; ++r) {
    session.feed(float_bytes({static_cast<float>(r)}));
    ASSERT_TRUE(session.shows(std::to_string(r) + "\r")) << "row " << r << " is not shown";
  }
  const TerminalRun run = session.finish();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.terminal, "1\r2\r3\r\r\n\r\n3\r2\r1\r\r\n\r\n");
}

class PlainWords : public testing::Test {
 protected:
  void SetUp() override {
    if (through_launcher()) GTEST_SKIP() << launcher_limit::terminal;
  }
  Workspace ws_;
};

TEST_F(PlainWords, OnATerminalStandardErrorTheFailureIsAddedInWords) {
  ws_.write("dempaint.ini", crlf_lines({"terrain.raw", "terrain.tga", "2", "2"}));
  const TerminalRun told = run_in(ws_, programs[1], {}, Attach::pipe, Attach::terminal);
  EXPECT_EQ(told.status, 2);
  expect_run_error(told.out, 2);
  EXPECT_EQ(told.terminal,
            "dempaint: cannot open raster \"terrain.raw\": No such file or directory\n");

  // Redirected, the standard error stays empty and nothing else changes.
  const TerminalRun quiet = run_in(ws_, programs[1], {});
  EXPECT_EQ(quiet.status, told.status);
  EXPECT_EQ(quiet.out, told.out);
  EXPECT_EQ(quiet.err, "");
  EXPECT_FALSE(ws_.exists("terrain.tga"));
}

TEST_F(PlainWords, StandardErrorRedirectedFromATerminalAddsNothing) {
  ws_.write("demscan.ini", crlf_lines({"picture.tga", "back.raw", "0"}));
  const TerminalRun run = run_in(ws_, programs[2], {}, Attach::terminal, Attach::pipe);
  EXPECT_EQ(run.status, 2);
  expect_run_error(run.terminal, 2);
  EXPECT_EQ(run.err, "");
}

TEST_F(PlainWords, BothStreamsOnOneTerminalShowTheMessageThenTheWords) {
  ws_.write("demtiler.ini", crlf_lines({"terrain.raw", "terrain.gnd", "1", "1"}));
  ws_.write("terrain.raw", float_bytes({1.0f}));
  const TerminalRun run = run_in(ws_, programs[0], {}, Attach::terminal, Attach::terminal);
  EXPECT_EQ(run.status, 2);
  // The map is printed, then the template is missing.
  const std::string words =
      "demtiler: cannot open template \"demtiler.dat\": No such file or directory\n";
  ASSERT_TRUE(run.terminal.ends_with(words)) << run.terminal;
  const std::string console = run.terminal.substr(0, run.terminal.size() - words.size());
  ASSERT_TRUE(console.starts_with("x-0\r\ny-0\r\n")) << console;
  expect_run_error(console.substr(console.rfind("Runtime")), 2);
}

TEST_F(PlainWords, LineFeedsInAPathPointToTheSettingsLineEnds) {
  // The whole file is the first line; the image path, read as empty, puts
  // the image on the standard output and the console on the terminal.
  ws_.write("dempaint.ini", "terrain.raw\nterrain.tga\n2\n2\n");
  const TerminalRun run = run_in(ws_, programs[1], {}, Attach::pipe, Attach::terminal);
  EXPECT_EQ(run.status, 2);
  const std::size_t words = run.terminal.find("dempaint:");
  ASSERT_NE(words, std::string::npos) << run.terminal;
  expect_run_error(run.terminal.substr(0, words), 2);
  EXPECT_EQ(run.terminal.substr(words),
            "dempaint: cannot open raster \"terrain.raw\\nterrain.tga\\n2\\n2\\n\": No such file "
            "or directory (the path holds line feeds: settings lines must end with CR or CR LF)\n"
            "dempaint: warning: dempaint.ini has no width line, so the width is 0: settings lines "
            "must end with CR or CR LF, and a lone LF does not end a line\n"
            "dempaint: warning: dempaint.ini has no height line, so the height is 0: settings "
            "lines must end with CR or CR LF, and a lone LF does not end a line\n");
}

TEST_F(PlainWords, ControlBytesOfAPathAreShownEscapedAndItsLettersAsTheyAre) {
  // A lone 0x9B is a terminal's CSI, and so is U+009B in UTF-8 (C2 9B);
  // U+045B (D1 9B) is a letter.
  ws_.write("demscan.ini", crlf_lines({"a\x9B[2Jb\xC2\x9B\xD1\x9B.tga", "back.raw", "0"}));
  const TerminalRun run = run_in(ws_, programs[2], {}, Attach::pipe, Attach::terminal);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.terminal,
            "demscan: cannot open image \"a\\x9B[2Jb\\xC2\\x9B\xD1\x9B.tga\": No such file or "
            "directory\n");
}

TEST_F(PlainWords, ReadsAndWritesNameTheirFile) {
  ws_.write("dempaint.ini", crlf_lines({"terrain.raw", "terrain.tga", "2", "2"}));
  ws_.write("terrain.raw", float_bytes({1.0f, 2.0f, 3.0f}));
  TerminalRun run = run_in(ws_, programs[1], {}, Attach::pipe, Attach::terminal);
  EXPECT_EQ(run.status, 100);
  EXPECT_EQ(run.terminal,
            "dempaint: cannot read raster \"terrain.raw\": the file ends early\n"
            "dempaint: warning: the raster \"terrain.raw\" holds 3 samples, the settings ask for "
            "2 x 2 = 4\n");

  ws_.write("dempaint.ini", crlf_lines({"terrain.raw", "/dev/full", "1", "1"}));
  ws_.write("terrain.raw", float_bytes({1.0f}));
  run = run_in(ws_, programs[1], {}, Attach::pipe, Attach::terminal);
  EXPECT_EQ(run.status, 112);
  EXPECT_EQ(run.terminal, "dempaint: cannot write image \"/dev/full\": No space left on device\n");
}

TEST_F(PlainWords, WithTheDataOnTheStandardOutputTheWordsFollowTheConsoleText) {
  // An empty image path puts the image on the standard output and the console
  // text on the standard error, where the words come after it.
  ws_.write("dempaint.ini", crlf_lines({"terrain.raw", "", "1", "2"}));
  ws_.write("terrain.raw", float_bytes({1.0f}));
  const TerminalRun run = run_in(ws_, programs[1], {}, Attach::pipe, Attach::terminal);
  EXPECT_EQ(run.status, 100);
  EXPECT_EQ(run.out.size(), 18u) << "the header alone";
  const std::string words =
      "dempaint: cannot read raster \"terrain.raw\": the file ends early\n"
      "dempaint: warning: the raster \"terrain.raw\" holds 1 sample, the settings ask for 1 x 2 = "
      "2\n";
  ASSERT_TRUE(run.terminal.starts_with("1\r")) << run.terminal;
  ASSERT_TRUE(run.terminal.ends_with(words)) << run.terminal;
  expect_run_error(run.terminal.substr(2, run.terminal.size() - 2 - words.size()), 100);
}

TEST_F(PlainWords, ASuccessfulRunAddsNothing) {
  ws_.write("demscan.ini", crlf_lines({"picture.tga", "back.raw", "0"}));
  ws_.write("picture.tga", tga_header(1, 1) + std::string("\1\1\0\0", 4));
  const TerminalRun run = run_in(ws_, programs[2], {}, Attach::pipe, Attach::terminal);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.terminal, "");
  EXPECT_EQ(ws_.read("back.raw"), float_bytes({1.0f}));
}

}  // namespace
