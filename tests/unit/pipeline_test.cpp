// The pipeline: slots taken in order, kept while the rule says, a failure
// ending the pass at its job, and the program running a job itself.
#include "pipeline.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <future>

namespace {

using namespace heightio;

constexpr std::size_t slots = 4;

// Each job writes its number into its slot; a job that starts while the slot
// it fills still belongs to the program is counted.
TEST(Pipeline, SlotsComeInOrderAndAreNotFilledAgainWhileTheProgramHoldsThem) {
  for (const Helping helping : {Helping::when_waiting, Helping::never}) {
    Pipeline pipeline(slots, sizeof(std::uint64_t), helping);
    std::atomic<std::uint64_t> lowest_held{0};
    std::atomic<int> too_early{0};
    pipeline.start(200, [&](std::uint64_t k, std::uint8_t* slot, Runner) {
      if (k >= slots && k - slots >= lowest_held) ++too_early;
      std::memcpy(slot, &k, sizeof k);
      return JobResult{};
    });
    std::uint64_t before = 0;
    const std::uint8_t* before_slot = nullptr;
    for (std::uint64_t k = 0; k < 200; ++k) {
      // From take(k) on, the program holds jobs k - 1 and k.
      lowest_held = k == 0 ? 0 : k - 1;
      const Pipeline::Taken taken = pipeline.take(k);
      std::uint64_t held = 0;
      std::memcpy(&held, taken.slot, sizeof held);
      ASSERT_EQ(held, k);
      if (before_slot != nullptr) std::memcpy(&before, before_slot, sizeof before);
      ASSERT_EQ(before, k == 0 ? 0 : k - 1);
      before_slot = taken.slot;
    }
    EXPECT_EQ(too_early, 0);
  }
}

TEST(Pipeline, AFailedJobReturnsItsCodeAndPlaceAndNoLaterJobStarts) {
  // One thread runs the jobs, so none can be under way beside the failed one.
  Pipeline pipeline(slots, 1, Helping::never);
  std::atomic<std::uint64_t> started{0};
  pipeline.start(20, [&](std::uint64_t k, std::uint8_t*, Runner) {
    ++started;
    return k == 5 ? JobResult{100, 7} : JobResult{};
  });
  for (std::uint64_t k = 0; k < 5; ++k) EXPECT_EQ(pipeline.take(k).result.code, 0);
  const JobResult failed = pipeline.take(5).result;
  EXPECT_EQ(failed.code, 100);
  EXPECT_EQ(failed.at, 7u);
  EXPECT_EQ(pipeline.take(6).result.code, 100);  // past the failure: no wait for a job never run
  pipeline.start(0, {});  // ends the pass: its thread is done
  EXPECT_EQ(started, 6u);
}

// Job 0, on the thread, waits for job 1: only the program, waiting for job
// 0, can run it.
TEST(Pipeline, AProgramThatWouldWaitRunsTheNextJobItself) {
  Pipeline pipeline(slots, 1);
  std::promise<void> zero_started, one_done;
  std::future<void> one = one_done.get_future();
  std::atomic<bool> program_ran_one{false};
  pipeline.start(2, [&](std::uint64_t k, std::uint8_t*, Runner runner) {
    if (k == 0) {
      zero_started.set_value();
      // A guard against a pipeline that never lets the program help.
      (void)one.wait_for(std::chrono::seconds(30));
    } else {
      program_ran_one = runner == Runner::program;
      one_done.set_value();
    }
    return JobResult{};
  });
  zero_started.get_future().wait();  // the thread has job 0 in hand
  (void)pipeline.take(0);
  (void)pipeline.take(1);
  EXPECT_TRUE(program_ran_one);
}

}  // namespace
