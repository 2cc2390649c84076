// The second thread of demtiler's passes: jobs done ahead, in order, into
// slots that the program holds undisturbed until it takes a later job.
#include "work_ahead.hpp"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <thread>

namespace {

using demtiler::WorkAhead;

TEST(WorkAhead, TakenSlotHoldsItsJobWhileTheThreadRunsAheadAndStopsHalfway) {
  std::array<std::uint64_t, 4> slots{};
  {
    WorkAhead ahead(1000, slots.size(), [&](std::uint64_t k, std::size_t s) { slots[s] = k; });
    for (std::uint64_t k = 0; k < 100; ++k) {
      const std::size_t s = ahead.take(k);
      ASSERT_EQ(s, k % slots.size());
      ASSERT_EQ(slots[s], k);
      // Time for a thread that ran too far ahead to overwrite the held slot.
      if (k % 10 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      ASSERT_EQ(slots[s], k);
    }
  }  // 900 jobs not taken: the thread must stop rather than wait for ever.
}

}  // namespace
