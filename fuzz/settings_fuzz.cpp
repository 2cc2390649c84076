// Fuzz target: random bytes as a settings file, read with the exact call
// pattern of each program.
//
// Checks that nothing crashes or leaks, that a path never holds a CR or a byte
// 26 and always comes from the text before the first byte 26, and that every
// accepted integer converts back from its decimal form to the same value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "failure.hpp"
#include "fuzz_support.hpp"
#include "settings.hpp"

namespace {

using namespace heightio;

using fuzz_support::require;

// Clears the pending I/O result between reads, as the programs' checks would.
void drop_pending() {
  try {
    check_io();
  } catch (const IoError&) {
  }
}

void check_path(const std::string& path, std::string_view text) {
  require(path.find('\r') == std::string::npos);
  require(path.find('\x1A') == std::string::npos);
  require(path.empty() || text.substr(0, text.find('\x1A')).find(path) != std::string_view::npos);
}

template <typename Int, typename Convert>
void check_number(Int value, Convert convert) {
  require(convert(std::to_string(value)) == value);
}

// Reads two paths and `numbers` integers of the given width, then closes.
template <bool wide>
void read_settings(const std::string& file, std::string_view text, int numbers) {
  TextReader reader;
  open_text_input(reader, file);
  require(pending_io_result() == 0);
  for (int i = 0; i < 2; ++i) {
    check_path(read_path_setting(reader), text);
    drop_pending();
  }
  for (int i = 0; i < numbers; ++i) {
    if constexpr (wide) {
      const std::int64_t value = read_int64_setting(reader);
      if (pending_io_result() == 0) check_number(value, convert_int64);
    } else {
      const std::int32_t value = read_int32_setting(reader);
      if (pending_io_result() == 0) check_number(value, convert_int32);
    }
    drop_pending();
  }
  close_text(reader);
  require(pending_io_result() == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string& file = fuzz_support::input_as_file(data, size);

  read_settings<true>(file, text, 2);   // demtiler
  read_settings<false>(file, text, 2);  // dempaint
  read_settings<false>(file, text, 1);  // demscan
  return 0;
}
