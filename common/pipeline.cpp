#include "pipeline.hpp"

#include <algorithm>
#include <system_error>
#include <utility>

#include "error_codes.hpp"
#include "failure.hpp"
#include "platform.hpp"

namespace heightio {
namespace {

// A buffer of more than 1 MiB is rounded up to whole huge pages when that
// adds at most 1 MiB or an eighth of it; a longer tail gets small pages, so
// that pages never touched do not count against the program.
std::size_t reserved_bytes(std::size_t bytes) {
  constexpr std::size_t huge_page = std::size_t{2} << 20;
  const std::size_t whole = (bytes + huge_page - 1) / huge_page * huge_page;
  const bool round = bytes > huge_page / 2 && whole - bytes <= std::max(huge_page / 2, bytes / 8);
  return round ? whole : bytes;
}

}  // namespace

Pages::Pages(std::size_t bytes) : size_(reserved_bytes(bytes)) {
  if (size_ == 0) return;
  bytes_ = static_cast<std::uint8_t*>(platform::reserve_pages(size_));
  if (bytes_ == nullptr) raise_at_call_site(code::out_of_memory);
}

Pages::~Pages() {
  if (bytes_ != nullptr) platform::release_pages(bytes_, size_);
}

// Every buffer is taken here, on the program's own thread: the second thread
// allocates nothing, so it never needs an allocator arena of its own.
Pipeline::Pipeline(std::size_t slots, std::size_t slot_bytes, Helping helping)
    : slots_(slots),
      slot_bytes_(slot_bytes),
      helping_(helping),
      pages_(slots * slot_bytes),
      done_(slots, -1),
      results_(slots) {}

Pipeline::~Pipeline() {
  stop();
}

void Pipeline::stop() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  slot_freed_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void Pipeline::start(std::uint64_t count, Job job) {
  stop();
  job_ = std::move(job);
  count_ = count;
  std::fill(done_.begin(), done_.end(), -1);
  claimed_ = released_ = 0;
  failed_ = stop_ = false;
  if (count_ == 0) return;
  try {
    thread_ = std::thread(&Pipeline::run_jobs, this);
  } catch (const std::system_error&) {
    // No second thread to be had: take() runs every job itself.
  }
}

bool Pipeline::claimable() const {
  return !failed_ && !stop_ && claimed_ < count_ && claimed_ < released_ + slots_;
}

void Pipeline::run(std::unique_lock<std::mutex>& lock, std::uint64_t k, Runner runner) {
  lock.unlock();
  const JobResult result = job_(k, slot(k), runner);
  lock.lock();
  results_[k % slots_] = result;
  done_[k % slots_] = static_cast<std::int64_t>(k);
  if (result.code != 0 && !failed_) {
    failed_ = true;
    failure_ = result;
  }
}

void Pipeline::run_jobs() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (!claimable()) {
      if (stop_ || failed_ || claimed_ == count_) return;
      // Every slot is in use: sleep until half of them are free, so that each
      // wake-up runs several jobs instead of one.
      thread_sleeps_ = true;
      slot_freed_.wait(lock, [&] {
        return stop_ || failed_ || claimed_ == count_ ||
               claimed_ + slots_ / 2 <= released_ + slots_;
      });
      thread_sleeps_ = false;
      continue;
    }
    run(lock, claimed_++, Runner::thread);
    if (program_sleeps_) job_done_.notify_one();
  }
}

Pipeline::Taken Pipeline::take(std::uint64_t k) {
  std::unique_lock lock(mutex_);
  // The program hands back the slot of the job before the one it held.
  if (k >= 2 && k - 1 > released_) released_ = k - 1;
  if (thread_sleeps_ && claimed_ + slots_ / 2 <= released_ + slots_) slot_freed_.notify_one();
  const bool may_run = helping_ == Helping::when_waiting || !thread_.joinable();
  while (done_[k % slots_] != static_cast<std::int64_t>(k)) {
    if (failed_ && k >= claimed_) return {nullptr, failure_};
    // Not yet claimed (no thread, or a thread that has not come to it): run
    // it here. Claimed by the thread and on its way: run the next one
    // meanwhile, rather than wait.
    if (may_run && claimed_ >= k && claimable()) {
      run(lock, claimed_++, Runner::program);
      continue;
    }
    program_sleeps_ = true;
    job_done_.wait(lock);
    program_sleeps_ = false;
  }
  return {slot(k), results_[k % slots_]};
}

}  // namespace heightio
