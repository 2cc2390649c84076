// demtiler's archive writer at the edge of what one archive can address.
#include "archive.hpp"

#include <gtest/gtest.h>

#include <cstdint>

#include "error_codes.hpp"
#include "test_support.hpp"

namespace {

using namespace demtiler;
using heightio_test::take_pending;

// Where the last tile's texture block of an archive of n tiles starts, from
// the layout: header and directory, template block, then 123318 bytes a tile.
constexpr std::uint64_t last_texture_block(std::uint64_t n) {
  return 8 + 16 * n + 3800 + 123318 * (n - 1) + 57764;
}
static_assert(last_texture_block(34824) <= UINT32_MAX && last_texture_block(34825) > UINT32_MAX);

TEST(ArchiveLimit, TheLastTileWhoseOffsetsFit32BitsIsAcceptedAndOneMoreRefusedWith201) {
  refuse_too_many_tiles(TileList(34824));
  EXPECT_EQ(take_pending(), 0);
  refuse_too_many_tiles(TileList(34825));
  EXPECT_EQ(take_pending(), heightio::code::too_many_tiles);
}

}  // namespace
