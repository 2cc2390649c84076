// Replays saved inputs through a fuzz target's checks without libFuzzer, so
// that the ordinary test run (and the sanitizer run) goes over the seed corpus
// and every saved crasher each time.
//
//   replay CORPUS_DIR CRASHERS_DIR PREFIX
//
// reads every file of CORPUS_DIR and every file of CRASHERS_DIR whose name
// starts with PREFIX. A failed check aborts; an empty corpus is an error too,
// as it means the test replays nothing.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

void replay(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::size_t replay_folder(const fs::path& folder, const std::string& prefix) {
  std::size_t count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (!entry.is_regular_file() || !entry.path().filename().string().starts_with(prefix)) continue;
    replay(entry.path());
    ++count;
  }
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR CRASHERS_DIR PREFIX\n", argv[0]);
    return 2;
  }
  const std::size_t seeds = replay_folder(argv[1], "");
  const std::size_t crashers = replay_folder(argv[2], argv[3]);
  std::printf("%zu seeds and %zu crashers replayed\n", seeds, crashers);
  return seeds > 0 ? 0 : 1;
}
