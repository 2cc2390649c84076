// Images of other formats given where a TGA is expected. A TGA has no
// signature of its own, but the common formats do, and none of them reads as
// a TGA layout that demscan takes, so naming the format tells the user what
// to do.
#pragma once

#include <string_view>

#include "layouts.hpp"
#include "record_file.hpp"

namespace demscan {

// "PNG", "JPEG", "BMP" or "GIF" when the header bytes begin with that
// format's signature, else an empty text.
std::string_view other_image_format(const heightio::TgaHeader& header);

// Ends the program with run-time error 13 for an image whose layout cannot be
// read, naming in the plain-words line its format where the header shows one,
// or the kind and depth of a TGA ("a grey 16-bit image"), and where grey
// heights belong.
[[noreturn]] void reject_image_layout(const heightio::RecordFile& image,
                                      const heightio::TgaHeader& header);

}  // namespace demscan
