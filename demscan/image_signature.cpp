#include "image_signature.hpp"

#include <algorithm>
#include <array>
#include <string>

#include "error_codes.hpp"
#include "failure.hpp"

namespace demscan {
namespace {

using namespace heightio;

struct Signature {
  std::string_view format;
  std::string_view bytes;
};

constexpr std::array signatures{
    Signature{"PNG", std::string_view("\x89PNG\r\n\x1A\n", 8)},
    Signature{"JPEG", "\xFF\xD8\xFF"},
    Signature{"GIF", "GIF87a"},
    Signature{"GIF", "GIF89a"},
    Signature{"BMP", "BM"},
};

}  // namespace

std::string_view other_image_format(const TgaHeader& header) {
  for (const Signature& signature : signatures) {
    if (std::equal(signature.bytes.begin(), signature.bytes.end(), header.begin(),
                   [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }))
      return signature.format;
  }
  return {};
}

void reject_image_layout(const RecordFile& image, const TgaHeader& header) {
  const std::string_view format = other_image_format(header);
  if (format.empty()) raise_at_call_site(code::bad_image_format);
  const std::string_view subject = image.standard_binding ? "the standard input" : image.subject;
  raise_at_call_site(
      code::bad_image_format,
      {Action::read, subject, image.path, 0,
       "this is a " + std::string(format) + " file, not a TGA: save it as a 24- or 32-bit TGA"});
}

}  // namespace demscan
