#include "work_ahead.hpp"

#include <algorithm>
#include <system_error>
#include <utility>

namespace demtiler {

WorkAhead::WorkAhead(std::uint64_t count, std::size_t slots, Job job)
    : count_(count), slots_(slots), job_(std::move(job)) {
  if (count_ == 0) return;
  try {
    thread_ = std::thread(&WorkAhead::run_jobs, this);
  } catch (const std::system_error&) {
    // No second thread to be had: take() runs each job itself.
  }
}

WorkAhead::~WorkAhead() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  slots_freed_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void WorkAhead::run_jobs() {
  for (std::uint64_t k = 0; k < count_; ++k) {
    if (!wait_for_slots(k)) return;
    job_(k, k % slots_);
    finish(k);
  }
}

bool WorkAhead::wait_for_slots(std::uint64_t k) {
  std::unique_lock lock(mutex_);
  if (!stop_ && slots_free(k, 1)) return true;
  // Every slot is in use: sleep until half of them are free, so that each
  // wake-up runs several jobs instead of one.
  thread_sleeps_ = true;
  thread_waits_at_ = k;
  slots_freed_.wait(lock,
                    [&] { return stop_ || slots_free(k, std::max<std::size_t>(1, slots_ / 2)); });
  thread_sleeps_ = false;
  return !stop_;
}

void WorkAhead::finish(std::uint64_t k) {
  bool wake = false;
  {
    const std::lock_guard lock(mutex_);
    done_ = k + 1;
    wake = program_sleeps_ && done_ > taken_;
  }
  if (wake) job_done_.notify_one();
}

std::size_t WorkAhead::take(std::uint64_t k) {
  if (!thread_.joinable()) {
    for (; done_ <= k; ++done_) job_(done_, done_ % slots_);
    return k % slots_;
  }
  std::unique_lock lock(mutex_);
  taken_ = k;
  if (thread_sleeps_ && slots_free(thread_waits_at_, std::max<std::size_t>(1, slots_ / 2)))
    slots_freed_.notify_one();
  if (done_ <= k) {
    program_sleeps_ = true;
    job_done_.wait(lock, [&] { return done_ > k; });
    program_sleeps_ = false;
  }
  return k % slots_;
}

}  // namespace demtiler
