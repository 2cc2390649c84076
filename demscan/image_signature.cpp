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

// What demscan reads, and where grey heights belong instead: a grey picture,
// also one converted to colour, is no height image.
constexpr std::string_view what_to_do =
    ", not a height image (a 24- or 32-bit colour TGA from dempaint): grey heights make a "
    "height raster, see \"Getting a height raster\" in docs/height-rasters.md";

// The kind and depth a TGA header declares, "a grey 16-bit image", when it is
// a kind demscan cannot read; else an empty text.
std::string declared_kind(const TgaHeader& header) {
  constexpr std::uint8_t run_length_bit = 8;
  const int depth = header[tga::pixel_depth];
  std::string_view kind;
  switch (header[tga::image_type] & ~run_length_bit) {
    case 1:
      kind = "colour-mapped";
      break;
    case 2:
      if (depth == 24 || depth == 32) return {};  // rejected for its colour map alone
      kind = "colour";
      break;
    case 3:
      kind = "grey";
      break;
    default:
      return {};
  }
  return "a " + std::string(kind) + " " + std::to_string(depth) + "-bit image";
}

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
  const std::string what =
      format.empty() ? declared_kind(header) : "a " + std::string(format) + " file";
  if (what.empty()) raise_at_call_site(code::bad_image_format);
  const std::string_view subject = image.standard_binding ? "the standard input" : image.subject;
  raise_at_call_site(code::bad_image_format, {Action::read, subject, image.path, 0,
                                              "this is " + what + std::string(what_to_do)});
}

}  // namespace demscan
