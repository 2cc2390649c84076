// The Windows programs, run under Wine, where Windows differs from Linux: a
// file held by another process, names in UTF-8 and in the ANSI code page,
// paths past 259 characters, the full device by its drive name, and the
// failure in words on a console. dempaint serves for all three programs, as
// they share the layer that these cases exercise.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "harness.hpp"
#include "terminal_run.hpp"

namespace {

using namespace e2e;
namespace fs = std::filesystem;

// 2 x 3 samples and the run that paints them.
const std::string raster = float_bytes({1, 2, 3, 4, 5, 6});
const std::string painted_console = "1\r2\r3\r\r\n\r\n3\r2\r1\r\r\n\r\n";

std::string settings(const std::string& input, const std::string& output) {
  return crlf_lines({input, output, "2", "3"});
}

// Another Windows process that holds a file open without sharing it, for
// as long as this object lives.
class HeldFile {
 public:
  HeldFile(const Workspace& ws, const std::string& name) {
    const std::string ready = (ws.dir() / "held.ready").string();
    const std::string path = "Z:" + ws.at(name).string();
    holder_ =
        ::popen((shell_command(HOLD_FILE_PATH) + " '" + path + "' >'" + ready + "'").c_str(), "w");
    for (int waited = 0; waited < 3000 && !held(ready); waited += 10)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    fs::remove(ready);
  }
  ~HeldFile() {
    if (holder_ != nullptr) ::pclose(holder_);  // its standard input ends, and it lets go
  }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

 private:
  static bool held(const std::string& ready) {
    std::FILE* file = std::fopen(ready.c_str(), "rb");
    if (file == nullptr) return false;
    char word[5] = {};
    const bool done = std::fread(word, 1, 4, file) == 4 && std::string(word) == "held";
    std::fclose(file);
    return done;
  }
  std::FILE* holder_ = nullptr;
};

TEST(WindowsRun, AFileHeldByAnotherProcessGives32AndIsLeftAlone) {
  Workspace ws;
  ws.write("terrain.raw", raster);
  ws.write("terrain.tga", "an older image");
  ws.write("dempaint.ini", settings("terrain.raw", "terrain.tga"));
  {
    const HeldFile held(ws, "terrain.tga");
    const RunResult result = run_changing_only(ws, DEMPAINT_PATH, {});
    expect_run_error(result.out, 32);
    EXPECT_EQ(result.status, 32);
  }
  {
    const HeldFile held(ws, "terrain.raw");
    const RunResult result = run_changing_only(ws, DEMPAINT_PATH, {});
    expect_run_error(result.out, 32);
    EXPECT_EQ(result.status, 32);
  }
  EXPECT_EQ(ws.read("terrain.tga"), "an older image");
  // Let go, the same settings work.
  EXPECT_EQ(ws.run(DEMPAINT_PATH).status, 0);
}

TEST(WindowsRun, NamesInUtf8AndInTheAnsiCodePageMeanTheirCharacters) {
  Workspace ws;
  ws.write("h\xC3\xB6he.raw", raster);  // "höhe.raw", as Wine stores it
  // The input line in UTF-8, the output line as an older editor saved it in
  // code page 1252; Wine names both files in UTF-8.
  ws.write("dempaint.ini", settings("h\xC3\xB6he.raw", "h\xF6he \x80.tga"));
  const RunResult result = run_changing_only(ws, DEMPAINT_PATH, {"h\xC3\xB6he \xE2\x82\xAC.tga"});
  EXPECT_EQ(result.out, painted_console);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(ws.read("h\xC3\xB6he \xE2\x82\xAC.tga").size(), 18u + 6 * 4);
}

TEST(WindowsRun, PathsPastTheOld259CharacterLimitWork) {
  Workspace ws;
  const std::string folders =
      std::string(100, 'a') + "/" + std::string(100, 'b') + "/" + std::string(100, 'c');
  fs::create_directories(ws.at(folders));
  ws.write(folders + "/terrain.raw", raster);
  const std::string absolute = "Z:" + ws.at(folders).string() + "/terrain.tga";
  ASSERT_GT(absolute.size(), 259u);
  ws.write("dempaint.ini", settings(folders + "/terrain.raw", absolute));
  const RunResult result = run_changing_only(ws, DEMPAINT_PATH, {folders + "/terrain.tga"});
  EXPECT_EQ(result.out, painted_console);
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(ws.exists(folders + "/terrain.tga"));
}

TEST(WindowsRun, TheFullDeviceByItsDriveNameGives112) {
  Workspace ws;
  ws.write("terrain.raw", raster);
  ws.write("dempaint.ini", settings("terrain.raw", "Z:\\dev\\full"));
  const RunResult result = run_changing_only(ws, DEMPAINT_PATH, {});
  expect_run_error(result.out.substr(result.out.find("Runtime")), 112);
  EXPECT_EQ(result.status, 112);
}

TEST(WindowsRun, ConsoleTextThroughAPipeKeepsItsExactBytes) {
  Workspace ws;
  ws.write("terrain.raw", raster);
  ws.write("dempaint.ini", settings("terrain.raw", "terrain.tga"));
  const TerminalRun run = run_attached(DEMPAINT_PATH, {}, ws.dir(), Attach::pipe, Attach::pipe);
  EXPECT_EQ(run.out, painted_console);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
}

TEST(WindowsRun, OnAConsoleTheFailureIsAddedInTheSystemsWords) {
  // Wine's console wraps what it shows in escape sequences of its own, so
  // the words are looked for rather than compared whole.
  Workspace ws;
  ws.write("dempaint.ini", settings("h\xC3\xB6he.raw", "terrain.tga"));
  const TerminalRun run = run_attached(DEMPAINT_PATH, {}, ws.dir(), Attach::pipe, Attach::terminal);
  EXPECT_EQ(run.status, 2);
  expect_run_error(run.out, 2);
  const std::string words = "dempaint: cannot open raster \"h\xC3\xB6he.raw\": ";
  const std::size_t at = run.terminal.find(words);
  ASSERT_NE(at, std::string::npos) << run.terminal;
  // The system's message follows, on the same line.
  EXPECT_GT(run.terminal.find('\n', at), at + words.size() + 4) << run.terminal;
  EXPECT_FALSE(ws.exists("terrain.tga"));
}

}  // namespace
