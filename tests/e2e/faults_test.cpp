// Faults end to end, for all three programs: outputs that cannot be written,
// inputs that cannot be read, settings that are not settings, a standard
// output that fails, and sizes that claim more than the data hold. Each test
// checks the exit status, the exact console bytes, what is on disk afterwards
// and that no input changed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "harness.hpp"

namespace {

using namespace e2e;
namespace fs = std::filesystem;

// One program with a small job that succeeds: its settings, its input files,
// and what it prints before it opens its input, before it creates its output
// and before its first write to the output.
struct Job {
  std::string name;
  std::string program;
  std::string settings_file;
  std::string input;   // the file the first settings line names
  std::string output;  // the file the second settings line names
  std::vector<std::string> number_lines;
  std::vector<std::pair<std::string, std::string>> files;  // every input, by name
  std::string console_before_input;
  std::string console_before_output;
  std::string console_before_first_write;
  // The output after a failure in the first pass over the input: demtiler has
  // not created its archive yet, dempaint has written its header alone and
  // demscan nothing.
  std::optional<std::string> output_after_first_pass_failure;

  void write_settings(const Workspace& ws, std::string_view input_path,
                      std::string_view output_path) const {
    std::string text = crlf_lines({input_path, output_path});
    for (const std::string& number : number_lines) text += crlf_lines({number});
    ws.write(settings_file, text);
  }
  // Writes the inputs and settings naming them.
  void prepare(const Workspace& ws) const {
    for (const auto& [name, bytes] : files) ws.write(name, bytes);
    write_settings(ws, input, output);
  }
};

Job demtiler_job() {
  return {"demtiler",
          DEMTILER_PATH,
          "demtiler.ini",
          "terrain.raw",
          "terrain.gnd",
          {"220", "148"},
          {{"terrain.raw", example_raster().bytes()}, {"demtiler.dat", std::string(3800, '\x5A')}},
          "x-3\r\ny-2\r\n",
          example_map,
          example_map,
          std::nullopt};
}

Job dempaint_job() {
  return {"dempaint",
          DEMPAINT_PATH,
          "dempaint.ini",
          "terrain.raw",
          "terrain.tga",
          {"2", "3"},
          {{"terrain.raw", float_bytes({1, 2, 3, 4, 5, 6})}},
          "",
          "",
          "",
          tga_header(2, 3)};
}

Job demscan_job() {
  return {"demscan",
          DEMSCAN_PATH,
          "demscan.ini",
          "terrain.tga",
          "terrain.raw",
          {"0"},
          {{"terrain.tga", tga_header(2, 3) + std::string(24, '\x07')}},
          "",
          "",
          "1\r\r\n2\r\r\n3\r\r\n\r\n\r\n",
          ""};
}

Job demjoin_job() {
  const std::string archive =
      expected_archive(example_raster(), {{0, 1}, {1, 0}, {1, 1}}, std::string(3800, '\x5A'));
  return {"demjoin",
          DEMJOIN_PATH,
          "demjoin.ini",
          "terrain.gnd",
          "terrain.raw",
          {"220", "148"},
          {{"terrain.gnd", archive}},
          "",
          example_map,
          example_map + "\r\n     0\r",
          std::nullopt};
}

std::vector<Job> small_jobs() {
  return {demtiler_job(), dempaint_job(), demscan_job(), demjoin_job()};
}

// Jobs whose first pass prints well over the 128 bytes that the console hands
// over at once: 40 map lines, or 100 row numbers.
std::vector<Job> talkative_jobs() {
  Job tiler = demtiler_job();
  tiler.number_lines = {"76", "2884"};
  tiler.files[0].second = float_bytes(std::vector<float>(76 * 2884, 0.0f));
  Job paint = dempaint_job();
  paint.number_lines = {"1", "100"};
  paint.files[0].second = float_bytes(std::vector<float>(100, 1.0f));
  paint.output_after_first_pass_failure = tga_header(1, 100);
  Job scan = demscan_job();
  scan.files[0].second = tga_header(1, 100) + std::string(400, '\x07');
  return {tiler, paint, scan};
}

// The console holds `before`, then the run-time error message with `code`.
void expect_console(const std::string& console, const std::string& before, int code) {
  ASSERT_EQ(console.substr(0, before.size()), before);
  expect_run_error(console.substr(before.size()), code);
}

void expect_output_after_first_pass_failure(const Workspace& ws, const Job& job) {
  if (job.output_after_first_pass_failure) {
    EXPECT_EQ(ws.read(job.output), *job.output_after_first_pass_failure) << job.name;
  } else {
    EXPECT_FALSE(ws.exists(job.output)) << job.name;
  }
}

// A path of `length` bytes that names `name` in the working folder, with "./"
// repeated in front of it; `length` less the name's size must be even.
std::string dotted_path(const std::string& name, std::size_t length) {
  std::string path;
  while (path.size() + name.size() < length) path += "./";
  return path + name;
}

TEST(Faults, OutputOnAFullDiskFailsWith112) {
  for (const Job& job : small_jobs()) {
    Workspace ws;
    job.prepare(ws);
    job.write_settings(ws, job.input, "/dev/full");
    const RunResult result = run_changing_only(ws, job.program, {});
    expect_console(result.out, job.console_before_first_write, 112);
    EXPECT_EQ(result.status, 112) << job.name;
  }
}

TEST(Faults, OutputThatCannotBeCreatedChangesNothing) {
  for (const Job& job : small_jobs()) {
    for (const auto& [output, code] : {std::pair{"folder", 5}, {"missing/terrain.out", 3}}) {
      Workspace ws;
      job.prepare(ws);
      fs::create_directory(ws.at("folder"));
      ws.write("folder/kept", "a file in the folder");
      job.write_settings(ws, job.input, output);
      const RunResult result = run_changing_only(ws, job.program, {});
      expect_console(result.out, job.console_before_output, code);
      EXPECT_EQ(result.status, code) << job.name << " " << output;
      EXPECT_FALSE(ws.exists("missing")) << job.name;
    }
  }
}

TEST(Faults, InputThatCannotBeOpenedLeavesAnOlderOutputAlone) {
  for (const Job& job : small_jobs()) {
    for (const auto& [input, code] : {std::pair{"folder", 5}, {"missing/terrain.in", 3}}) {
      Workspace ws;
      job.prepare(ws);
      ws.write(job.output, "an older output");
      fs::create_directory(ws.at("folder"));
      job.write_settings(ws, input, job.output);
      const RunResult result = run_changing_only(ws, job.program, {});
      expect_console(result.out, job.console_before_input, code);
      EXPECT_EQ(result.status, code) << job.name << " " << input;
    }
    // The settings file itself a folder.
    Workspace ws;
    fs::create_directory(ws.at(job.settings_file));
    const RunResult result = run_changing_only(ws, job.program, {});
    expect_console(result.out, "", 5);
    EXPECT_EQ(result.status, 5) << job.name;
  }
}

TEST(Faults, PathLineOf100KiBIsRefusedWholeNotCut) {
  // The first 259 bytes of each long path name an existing file, which a
  // path cut there would read or overwrite.
  const std::string tail = "/" + std::string(100 * 1024, 'a');
  for (const Job& job : small_jobs()) {
    Workspace ws;
    job.prepare(ws);
    ws.write("older.out", "an older output");

    job.write_settings(ws, dotted_path(job.input, 259) + tail, job.output);
    RunResult result = run_changing_only(ws, job.program, {});
    expect_console(result.out, job.console_before_input, 3);
    EXPECT_EQ(result.status, 3) << job.name;

    job.write_settings(ws, job.input, dotted_path("older.out", 259) + tail);
    result = run_changing_only(ws, job.program, {});
    expect_console(result.out, job.console_before_output, 3);
    EXPECT_EQ(result.status, 3) << job.name;
  }
}

TEST(Faults, PathHoldingANulIsRefusedWith31NotCut) {
  // Cut at the NUL, each path would name an existing file.
  for (const Job& job : small_jobs()) {
    Workspace ws;
    job.prepare(ws);
    ws.write("older.out", "an older output");

    job.write_settings(ws, job.input + std::string("\0.bak", 5), job.output);
    RunResult result = run_changing_only(ws, job.program, {});
    expect_console(result.out, job.console_before_input, 31);
    EXPECT_EQ(result.status, 31) << job.name;

    job.write_settings(ws, job.input, std::string("older.out\0.new", 14));
    result = run_changing_only(ws, job.program, {});
    expect_console(result.out, job.console_before_output, 31);
    EXPECT_EQ(result.status, 31) << job.name;
  }
}

TEST(Faults, BinarySettingsEndWithARunTimeErrorAndTouchNothing) {
  // All byte values in order: the first line is bytes 0 to 12, NUL included;
  // the second ends at byte 26, so every number reads as 0.
  std::string all_bytes;
  for (int b = 0; b < 256; ++b) all_bytes += static_cast<char>(b);
  for (const Job& job : small_jobs()) {
    Workspace ws;
    job.prepare(ws);
    ws.write(job.settings_file, all_bytes);
    const RunResult result = run_changing_only(ws, job.program, {});
    expect_console(result.out, job.name == "demtiler" ? "x-0\r\ny-0\r\n" : "", 31);
    EXPECT_EQ(result.status, 31) << job.name;
  }
  // Random bytes: whatever the run makes of them, it ends with a well-formed
  // message whose code is the exit status.
  std::uint32_t state = 2463534242u;
  for (int file = 0; file < 8; ++file) {
    std::string noise(4096, '\0');
    for (char& byte : noise) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      byte = static_cast<char>(state >> 24);
    }
    for (const Job& job : small_jobs()) {
      Workspace ws;
      job.prepare(ws);
      ws.write(job.settings_file, noise);
      const RunResult result = run_changing_only(ws, job.program, {});
      const std::string& console = result.out.empty() ? result.err : result.out;
      const std::size_t message = console.rfind("Runtime error");
      ASSERT_NE(message, std::string::npos) << job.name << " file " << file;
      ASSERT_GT(result.status, 0) << job.name << " file " << file;
      expect_run_error(console.substr(message), result.status);
    }
  }
}

TEST(Faults, StandardOutputClosedFailsAtTheFirstPrintStepWith103) {
  if (through_launcher()) GTEST_SKIP() << launcher_limit::closed_stream;
  for (const Job& job : small_jobs()) {
    // With the input on the standard input as well, the output is the first
    // file opened, and would take the closed output's number.
    for (const bool input_on_standard_input : {false, true}) {
      if (input_on_standard_input && job.name == "demtiler") continue;  // a pipe cannot be read
      Workspace ws;
      job.prepare(ws);
      if (input_on_standard_input) job.write_settings(ws, "", job.output);
      const Snapshot before = ws.snapshot();
      const RunResult result = ws.run_with_output(
          job.program, StandardOutput::closed, input_on_standard_input ? job.files[0].second : "");
      EXPECT_EQ(result.status, 103) << job.name;
      EXPECT_EQ(result.err, "") << job.name;
      expect_output_after_first_pass_failure(ws, job);
      for (const std::string& name : changed_files(before, ws.snapshot()))
        EXPECT_EQ(name, job.output) << job.name << ": an input changed";
    }
  }
}

TEST(Faults, DataForAClosedStandardOutputFailWith103) {
  if (through_launcher()) GTEST_SKIP() << launcher_limit::closed_stream;
  // The console moves to the standard error and shows the failure there.
  for (const Job& job : small_jobs()) {
    Workspace ws;
    job.prepare(ws);
    job.write_settings(ws, job.input, "");
    const Snapshot before = ws.snapshot();
    const RunResult result = ws.run_with_output(job.program, StandardOutput::closed);
    expect_console(result.err, job.console_before_output, 103);
    EXPECT_EQ(result.status, 103) << job.name;
    EXPECT_TRUE(changed_files(before, ws.snapshot()).empty()) << job.name;
  }
}

TEST(Faults, StandardOutputWithoutReaderFailsWith109OnceTextIsRefused) {
  for (const Job& job : talkative_jobs()) {
    Workspace ws;
    job.prepare(ws);
    const Snapshot before = ws.snapshot();
    const RunResult result = ws.run_with_output(job.program, StandardOutput::reader_gone);
    EXPECT_EQ(result.status, 109) << job.name;
    EXPECT_EQ(result.err, "") << job.name;
    expect_output_after_first_pass_failure(ws, job);
    for (const std::string& name : changed_files(before, ws.snapshot()))
      EXPECT_EQ(name, job.output) << job.name << ": an input changed";
  }
  // Text that never fills a 128-byte piece leaves only at the normal end,
  // whose failure is not reported: the job is done.
  for (const Job& job : small_jobs()) {
    Workspace ws;
    job.prepare(ws);
    ASSERT_EQ(ws.run(job.program).status, 0);
    const Snapshot done = ws.snapshot();
    ws.write(job.output, "");
    const RunResult result = ws.run_with_output(job.program, StandardOutput::reader_gone);
    EXPECT_EQ(result.status, 0) << job.name;
    EXPECT_TRUE(changed_files(done, ws.snapshot()).empty()) << job.name;
  }
}

TEST(Faults, ConsoleOnAFullDiskFailsWith112OnceTextIsRefused) {
  for (const Job& job : talkative_jobs()) {
    Workspace ws;
    job.prepare(ws);
    const Snapshot before = ws.snapshot();
    const RunResult result = ws.run_with_output(job.program, StandardOutput::full_disk);
    EXPECT_EQ(result.status, 112) << job.name;
    EXPECT_EQ(result.err, "") << job.name;
    expect_output_after_first_pass_failure(ws, job);
    for (const std::string& name : changed_files(before, ws.snapshot()))
      EXPECT_EQ(name, job.output) << job.name << ": an input changed";
  }
}

TEST(Faults, HugeImageOverThirtyBytesFailsWith100InLittleMemory) {
  if (through_launcher()) GTEST_SKIP() << launcher_limit::memory;
  // Memory is bounded by the address space, so that a run that took the
  // memory its sizes claim would fail with 203 instead.
  const std::size_t limit_kib = address_space_limits_work ? 64 * 1024 : 0;
  const std::string thirty(30, '\xFF');  // as run-length packets: runs of 128 pixels
  {
    Workspace ws;
    ws.write("dempaint.ini", crlf_lines({"terrain.raw", "terrain.tga", "65535", "65535"}));
    ws.write("terrain.raw", thirty);
    const RunResult result = run_changing_only(ws, DEMPAINT_PATH, {"terrain.tga"}, {}, limit_kib);
    expect_console(result.out, "", 100);
    EXPECT_EQ(result.status, 100);
    EXPECT_EQ(ws.read("terrain.tga"), tga_header(65535, 65535));
  }
  for (const std::uint8_t type : {2, 10}) {
    for (const std::uint8_t depth : {24, 32}) {
      Workspace ws;
      ws.write("demscan.ini", crlf_lines({"terrain.tga", "terrain.raw", "0"}));
      ws.write("terrain.tga", tga_header(65535, 65535, {.type = type, .depth = depth}) + thirty);
      const RunResult result = run_changing_only(ws, DEMSCAN_PATH, {"terrain.raw"}, {}, limit_kib);
      expect_console(result.out, "", 100);
      EXPECT_EQ(result.status, 100) << int{type} << " " << int{depth};
      EXPECT_EQ(ws.read("terrain.raw"), "");
    }
  }
}

TEST(Faults, RasterWithFewerRowsThanItsSettingsClaimFailsWith100) {
  {
    // 2 x 3 samples, 5 rows claimed: the header alone is written.
    Workspace ws;
    dempaint_job().prepare(ws);
    ws.write("dempaint.ini", crlf_lines({"terrain.raw", "terrain.tga", "2", "5"}));
    const RunResult result = run_changing_only(ws, DEMPAINT_PATH, {"terrain.tga"});
    expect_console(result.out, "1\r2\r3\r", 100);
    EXPECT_EQ(result.status, 100);
    EXPECT_EQ(ws.read("terrain.tga"), tga_header(2, 5));
  }
  {
    // 220 x 148 samples, 220 rows claimed: the third tile row cannot be read,
    // and an older archive stays as it was, as the scan comes first.
    Workspace ws;
    demtiler_job().prepare(ws);
    ws.write("terrain.gnd", "an older archive");
    ws.write("demtiler.ini", crlf_lines({"terrain.raw", "terrain.gnd", "220", "220"}));
    const RunResult result = run_changing_only(ws, DEMTILER_PATH, {});
    expect_console(result.out, "x-3\r\ny-3\r\n-*-0\r\n**-1\r\n", 100);
    EXPECT_EQ(result.status, 100);
  }
}

TEST(Faults, RowsLargerThanAPipeHoldsArriveWholeFromStandardInput) {
  // Rows of 80000 bytes come through a 64 KiB pipe in pieces; each row is one
  // read all the same. Heights 0 ... 65279 come back from the round trip.
  constexpr int width = 20000, height = 3;
  std::vector<float> samples;
  for (int i = 0; i < width * height; ++i) samples.push_back(static_cast<float>(i % 65280));
  Workspace ws;
  ws.write("dempaint.ini",
           crlf_lines({"", "terrain.tga", std::to_string(width), std::to_string(height)}));
  RunResult result = run_changing_only(ws, DEMPAINT_PATH, {"terrain.tga"}, float_bytes(samples));
  ASSERT_EQ(result.status, 0);
  ws.write("demscan.ini", crlf_lines({"", "back.raw", "0"}));
  result = run_changing_only(ws, DEMSCAN_PATH, {"back.raw"}, ws.read("terrain.tga"));
  ASSERT_EQ(result.status, 0);
  EXPECT_TRUE(ws.read("back.raw") == float_bytes(samples));

  // Data that end early on the pipe fail as a short file does.
  const std::string image = ws.read("terrain.tga");
  result = run_changing_only(ws, DEMSCAN_PATH, {"back.raw"}, image.substr(0, image.size() - 1));
  expect_console(result.out, "1\r\r\n2\r\r\n", 100);
  EXPECT_EQ(ws.read("back.raw"), "");
}

TEST(Faults, DataOnAStandardOutputThatIsTheInputAreRefusedWith32) {
  if (through_launcher()) GTEST_SKIP() << launcher_limit::standard_handle_identity;
  // `program 1<>input` and `program >>input` with an empty output path: the
  // data would go over or after the input. Nothing is written.
  for (const Job& job : small_jobs()) {
    for (const std::string redirect : {"1<>", ">>"}) {
      Workspace ws;
      job.prepare(ws);
      job.write_settings(ws, job.input, "");
      const Snapshot before = ws.snapshot();
      const RunResult result = ws.run_with_redirect(job.program, redirect + job.input);
      expect_console(result.err, job.console_before_output, 32);
      EXPECT_EQ(result.status, 32) << job.name << " " << redirect;
      EXPECT_TRUE(changed_files(before, ws.snapshot()).empty()) << job.name << " " << redirect;
    }
  }
}

TEST(Faults, OutputOnTheCharacterDeviceOfTheInputIsRefusedWith32) {
  if (through_launcher()) GTEST_SKIP() << launcher_limit::linux_device;
  // /dev/zero read as the input and named again, through a link of another
  // name, as the output.
  for (const Job& job : small_jobs()) {
    if (job.name == "demjoin") continue;  // zeros are no archive: 13, before any output
    Workspace ws;
    job.prepare(ws);
    fs::create_symlink("/dev/zero", ws.at("zeros"));
    job.write_settings(ws, "/dev/zero", "zeros");
    const RunResult result = run_changing_only(ws, job.program, {});
    const std::size_t message = result.out.rfind("Runtime error");
    ASSERT_NE(message, std::string::npos) << job.name;
    expect_run_error(result.out.substr(message), 32);
    EXPECT_EQ(result.status, 32) << job.name;
  }
}

// A loop device over a file, attached as root for the life of the object.
class LoopDevice {
 public:
  explicit LoopDevice(const fs::path& file) {
    if (::geteuid() != 0) {
      reason_ = "not root";
      return;
    }
    FILE* losetup = ::popen(("losetup -f --show '" + file.string() + "' 2>&1").c_str(), "r");
    if (losetup == nullptr) {
      reason_ = "losetup cannot be run";
      return;
    }
    char text[256] = {};
    const std::string answer = std::fgets(text, sizeof text, losetup) ? text : "";
    const int status = ::pclose(losetup);
    const std::string name = answer.substr(0, answer.find('\n'));
    if (status != 0 || !name.starts_with("/dev/")) {
      reason_ = "losetup gives no loop device: " + answer;
      return;
    }
    path_ = name;
  }
  ~LoopDevice() { detach(); }
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;

  // Detaching writes back whatever the device still holds for the file.
  void detach() {
    if (!path_.empty()) (void)std::system(("losetup -d '" + path_ + "'").c_str());
    path_.clear();
  }
  const std::string& path() const { return path_; }
  const std::string& reason() const { return reason_; }

 private:
  std::string path_;
  std::string reason_;
};

TEST(Faults, OutputOnTheBlockDeviceOfTheInputOrTheFileBehindItIsRefusedWith32) {
  if (through_launcher()) GTEST_SKIP() << launcher_limit::linux_device;
  for (const Job& job : small_jobs()) {
    Workspace ws;
    job.prepare(ws);
    // The input in a scratch file of whole 512-byte sectors, behind a loop
    // device, and a second name of that device made beside it.
    std::string input = ws.read(job.input);
    input.resize((input.size() + 511) / 512 * 512, '\0');
    ws.write(job.input, input);
    LoopDevice device(ws.at(job.input));
    if (device.path().empty()) GTEST_SKIP() << "no loop device: " << device.reason();
    struct stat info {};
    ASSERT_EQ(::stat(device.path().c_str(), &info), 0);
    const bool second_name = ::mknod(ws.at("disk").c_str(), S_IFBLK | 0600, info.st_rdev) == 0;
    // The device under two names, then the device and the file behind it
    // either way round.
    const std::vector<std::pair<std::string, std::string>> input_and_output = {
        {device.path(), second_name ? "disk" : device.path()},
        {job.input, device.path()},
        {device.path(), job.input}};
    for (const auto& [in, out] : input_and_output) {
      job.write_settings(ws, in, out);
      const Snapshot before = ws.snapshot();
      const RunResult result = ws.run(job.program);
      expect_console(result.out, job.console_before_output, 32);
      EXPECT_EQ(result.status, 32) << job.name << " " << in << " " << out;
      EXPECT_TRUE(changed_files(before, ws.snapshot()).empty()) << job.name;
    }
    device.detach();
    EXPECT_EQ(ws.read(job.input), input) << job.name;
  }
}

TEST(Faults, MemoryRunningOutIsLocatedAtItsAllocation) {
  if (through_launcher()) GTEST_SKIP() << launcher_limit::memory;
  if (!address_space_limits_work) GTEST_SKIP() << "no address space limit under the sanitizer";
  // 16 MiB of address space: a settings line of 24 MiB does not fit, nor do
  // the 20 MiB of a 65535 x 80 raster held in memory from a pipe.
  Workspace ws;
  ws.write("dempaint.ini", std::string(24 << 20, 'p') + "\r\n");
  RunResult result = run_changing_only(ws, DEMPAINT_PATH, {}, {}, 16 * 1024);
  const std::string settings_line = expect_run_error(result.out, 203);
  EXPECT_EQ(result.status, 203);

  ws.write("dempaint.ini", crlf_lines({"", "terrain.tga", "65535", "80"}));
  const std::string raster(std::size_t{65535} * 80 * 4, '\0');
  result = run_changing_only(ws, DEMPAINT_PATH, {"terrain.tga"}, raster, 16 * 1024);
  ASSERT_GE(result.out.size(), 31u);
  const std::string image_rows = expect_run_error(result.out.substr(result.out.size() - 31), 203);
  EXPECT_EQ(result.status, 203);

  EXPECT_NE(settings_line, "00000000");
  EXPECT_NE(image_rows, "00000000");
  EXPECT_NE(settings_line, image_rows);
}

// An input that another program changes between the reading and the writing
// phase fails in the writing phase as a read of the changed row would.
TEST(Faults, InputChangedBetweenThePhasesFailsWhereTheChangedRowIsRead) {
  if (through_launcher()) GTEST_SKIP() << launcher_limit::pause_fifo;
  const std::string read_phase = "1\r\r\n2\r\r\n3\r\r\n\r\n\r\n";
  const std::string nan_at_row_2 =
      "printf '\\000\\000\\300\\177' | dd of=terrain.raw bs=1 seek=8 conv=notrunc status=none";
  const std::string rle_rows = "\x01\x07\x07\x07\x07\x07\x07\x07\x07";  // two stored pixels
  struct Case {
    std::string what;
    Job job;
    std::string change;
    std::string console_before;
    int code;
    std::string output;
  };
  Job rle_scan = demscan_job();
  rle_scan.files[0].second = tga_header(2, 3, {.type = 10}) + rle_rows + rle_rows + rle_rows;
  const std::vector<Case> cases = {
      {"raster cut short", dempaint_job(), "truncate -s 20 terrain.raw", "1\r2\r3\r\r\n\r\n", 100,
       tga_header(2, 3)},
      {"raster given a NaN", dempaint_job(), nan_at_row_2, "1\r2\r3\r\r\n\r\n3\r", 207,
       tga_header(2, 3) + std::string("\x05\x05\x00\xFF\x06\x06\x00\xFF", 8)},
      {"image cut short", demscan_job(), "truncate -s 38 terrain.tga", read_phase, 100, ""},
      {"run-length image cut short", rle_scan, "truncate -s 40 terrain.tga", read_phase, 100, ""},
  };
  for (const Case& c : cases) {
    Workspace ws;
    c.job.prepare(ws);
    const RunResult result = ws.run_pausing_between_phases(c.job.program, c.change);
    expect_console(result.out, c.console_before, c.code);
    EXPECT_EQ(result.status, c.code) << c.what;
    EXPECT_EQ(ws.read(c.job.output), c.output) << c.what;
  }
}

// An input rewritten with other valid bytes of the same size between the two
// passes fails with 154 at the first changed row or tile in the order of
// writing, the rows or tiles before it written.
TEST(Faults, InputRewrittenBetweenThePassesFailsWith154AtTheFirstChangedRowWritten) {
  if (through_launcher()) GTEST_SKIP() << launcher_limit::pause_fifo;
  const auto put = [](const std::string& bytes, const std::string& file, int at) {
    std::string octal;
    for (const char c : bytes)
      octal += "\\" + std::to_string((c >> 6) & 3) + std::to_string((c >> 3) & 7) +
               std::to_string(c & 7);
    return "printf '" + octal + "' | dd of=" + file + " bs=1 seek=" + std::to_string(at) +
           " conv=notrunc status=none";
  };
  const std::string row_3 = "3\r";
  const std::string pixels_1799 = float_bytes({1799, 1799});
  Job rle_scan = demscan_job();
  const std::string rle_row = "\x01\x07\x07\x07\x07\x07\x07\x07\x07";
  rle_scan.files[0].second = tga_header(2, 3, {.type = 10}) + rle_row + rle_row + rle_row;
  // Two tiles across, one tile row; the second tile alone changes.
  Job tiler = demtiler_job();
  tiler.number_lines = {"148", "76"};
  tiler.files[0].second = float_bytes(std::vector<float>(148 * 76, 1.0f));
  struct Case {
    Job job;
    std::string change;
    std::string written;  // the console of the normal run up to here comes before the error
    std::size_t output_bytes;
  };
  const std::vector<Case> cases = {
      {dempaint_job(), put(float_bytes({7, 8}), "terrain.raw", 8), "\r\n\r\n3\r", 18 + 8},
      {demscan_job(), put("\x08", "terrain.tga", 18 + 8), "\r\n\r\n3\r", 8},
      {rle_scan, put("\x08", "terrain.tga", 18 + 9 + 1), "\r\n\r\n3\r", 8},
      {tiler, put(float_bytes({2}), "terrain.raw", (10 * 148 + 100) * 4), "     0     1     2\r",
       8 + 2 * 16 + 3800 + 57764 + 65554},
  };
  for (const Case& c : cases) {
    Workspace ws;
    c.job.prepare(ws);
    const RunResult good = ws.run(c.job.program);
    ASSERT_EQ(good.status, 0) << c.job.name;
    const std::string output = ws.read(c.job.output);
    const RunResult result = ws.run_pausing_between_phases(c.job.program, c.change);
    expect_console(result.out, good.out.substr(0, good.out.find(c.written) + c.written.size()),
                   154);
    EXPECT_EQ(result.status, 154) << c.job.name;
    EXPECT_TRUE(ws.read(c.job.output) == output.substr(0, c.output_bytes)) << c.job.name;
  }
}

TEST(Faults, OutputThatOutgrowsTheFileSizeLimitFailsWith112AfterTheRowsThatFit) {
  if (through_launcher()) GTEST_SKIP() << launcher_limit::file_size;
  // 30 rows of 100 samples, 400 bytes a row either way; 2048 bytes fit: the
  // image's 18-byte header and five rows and a part, or the raster's five rows
  // and a part. Each row written whole has its number shown.
  std::vector<float> samples;
  for (int r = 0; r < 30; ++r)
    for (int c = 0; c < 100; ++c) samples.push_back(static_cast<float>(r * 100 + c));
  std::string raster(samples.size() * sizeof(float), '\0');
  std::memcpy(raster.data(), samples.data(), raster.size());
  std::string read_phase;
  for (int r = 1; r <= 30; ++r) read_phase += std::to_string(r) + "\r";
  Workspace ws;
  ws.write("terrain.raw", raster);
  ws.write("dempaint.ini", crlf_lines({"terrain.raw", "terrain.tga", "100", "30"}));
  ASSERT_EQ(ws.run(DEMPAINT_PATH).status, 0);
  const std::string image = ws.read("terrain.tga");
  ws.write("terrain.tga", "");

  const RunResult paint = ws.run_with_file_size_limit(DEMPAINT_PATH, 4);
  expect_console(paint.out, read_phase + "\r\n\r\n30\r29\r28\r27\r26\r", 112);
  EXPECT_EQ(paint.status, 112);
  EXPECT_EQ(ws.read("terrain.tga"), image.substr(0, 2048));

  ws.write("terrain.tga", image);
  ws.write("demscan.ini", crlf_lines({"terrain.tga", "back.raw", "0"}));
  const RunResult scan = ws.run_with_file_size_limit(DEMSCAN_PATH, 4);
  std::string scan_read_phase;
  for (int r = 1; r <= 30; ++r) scan_read_phase += std::to_string(r) + "\r\r\n";
  expect_console(scan.out, scan_read_phase + "\r\n\r\n30\r29\r28\r27\r26\r", 112);
  EXPECT_EQ(scan.status, 112);
  EXPECT_EQ(ws.read("back.raw"), raster.substr(0, 2048));
}

TEST(Faults, ConsoleThatOutgrowsTheFileSizeLimitInTheWritingPhaseLeavesTheRowsShownBefore) {
  if (through_launcher()) GTEST_SKIP() << launcher_limit::file_size;
  // One sample a row. The console file takes 512 bytes: its fifth 128-byte
  // piece fails with 112 in the writing phase, at the number of row 39 of
  // dempaint's 120 (after 82 rows written) and of row 25 of demscan's 90
  // (after 66 rows written).
  const auto column = [](int rows) {
    std::vector<float> samples;
    for (int r = 0; r < rows; ++r) samples.push_back(static_cast<float>(r));
    std::string bytes(samples.size() * sizeof(float), '\0');
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
  };
  Workspace ws;
  ws.write("terrain.raw", column(120));
  ws.write("dempaint.ini", crlf_lines({"terrain.raw", "terrain.tga", "1", "120"}));
  ASSERT_EQ(ws.run(DEMPAINT_PATH).status, 0);
  const std::string image = ws.read("terrain.tga");
  const RunResult paint = ws.run_with_file_size_limit(DEMPAINT_PATH, 1);
  EXPECT_EQ(paint.status, 112);
  EXPECT_EQ(paint.out.size(), 512u);
  EXPECT_EQ(ws.read("terrain.tga"), image.substr(0, 18 + 82 * 4));

  ws.write("terrain.raw", column(90));
  ws.write("dempaint.ini", crlf_lines({"terrain.raw", "terrain.tga", "1", "90"}));
  ASSERT_EQ(ws.run(DEMPAINT_PATH).status, 0);
  ws.write("demscan.ini", crlf_lines({"terrain.tga", "back.raw", "0"}));
  const RunResult scan = ws.run_with_file_size_limit(DEMSCAN_PATH, 1);
  EXPECT_EQ(scan.status, 112);
  EXPECT_EQ(scan.out.size(), 512u);
  EXPECT_EQ(ws.read("back.raw"), column(90).substr(0, 66 * 4));
}

// Inputs of many times the memory the programs may take convert whole: only
// a few rows are held at a time.
TEST(Faults, InputsFarLargerThanAnAddressSpaceLimitConvert) {
  if (through_launcher()) GTEST_SKIP() << launcher_limit::memory;
  if (!address_space_limits_work) GTEST_SKIP() << "no address space limit under the sanitizer";
  constexpr std::size_t limit_kib = 32 * 1024;
  constexpr int width = 3000, height = 8000;  // 96 MB of raster, 96 MB of image
  // Heights in the first 50 columns alone keep the archive to one column of tiles.
  std::vector<float> samples(std::size_t{width} * height);
  for (std::size_t i = 0; i < samples.size(); ++i)
    samples[i] = i % width < 50 ? static_cast<float>(i % 65280) : 0.0f;
  Workspace ws;
  const std::string raster = float_bytes(samples);
  ws.write("terrain.raw", raster);
  ws.write("demtiler.dat", std::string(3800, '\x5A'));
  const std::string size_lines = crlf_lines({std::to_string(width), std::to_string(height)});
  ws.write("demtiler.ini", crlf_lines({"terrain.raw", "terrain.gnd"}) + size_lines);
  ws.write("dempaint.ini", crlf_lines({"terrain.raw", "terrain.tga"}) + size_lines);
  ws.write("demscan.ini", crlf_lines({"terrain.tga", "back.raw", "0"}));
  EXPECT_EQ(ws.run_with_memory_limit(DEMTILER_PATH, limit_kib).status, 0);
  EXPECT_EQ(ws.run_with_memory_limit(DEMPAINT_PATH, limit_kib).status, 0);
  EXPECT_EQ(ws.run_with_memory_limit(DEMSCAN_PATH, limit_kib).status, 0);
  EXPECT_TRUE(ws.read("back.raw") == raster);
}

}  // namespace
