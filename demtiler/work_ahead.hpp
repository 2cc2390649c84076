// Numbered jobs run in order on a second thread, a few ahead of the one the
// program is using: while the program prints and writes what job k left in
// its slot, the jobs after it are already being done.
//
// Job k works in slot k % slots, which the program holds from take(k) until
// it takes a later job. A job runs on the second thread, so it must not
// allocate, record a failure or throw: it leaves in its slot whether it
// succeeded, and the program redoes a failed job with the checked operations,
// which then fail exactly where they must. When no thread can be started, each
// job runs in take() on the program's own thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace demtiler {

class WorkAhead {
 public:
  using Job = std::function<void(std::uint64_t job, std::size_t slot)>;

  WorkAhead(std::uint64_t count, std::size_t slots, Job job);
  ~WorkAhead();
  WorkAhead(const WorkAhead&) = delete;
  WorkAhead& operator=(const WorkAhead&) = delete;

  // Waits until job k is done and returns its slot. Jobs are taken in order;
  // taking job k hands the slots of the jobs before it back to the thread.
  std::size_t take(std::uint64_t k);

 private:
  void run_jobs();
  bool wait_for_slots(std::uint64_t k);
  void finish(std::uint64_t k);
  // Whether job k may start, with at least `wanted` slots free from k on.
  bool slots_free(std::uint64_t k, std::size_t wanted) const {
    return k + wanted <= taken_ + slots_;
  }

  const std::uint64_t count_;
  const std::size_t slots_;
  const Job job_;

  // Each side sleeps on its own condition and is woken only when what it
  // waits for has come, so that the threads do not wake each other for
  // nothing: a wake-up costs more than a job on a busy machine.
  std::mutex mutex_;
  std::condition_variable slots_freed_;
  std::condition_variable job_done_;
  std::uint64_t done_ = 0;             // jobs finished
  std::uint64_t taken_ = 0;            // the job the program holds; the ones before it are released
  std::uint64_t thread_waits_at_ = 0;  // the job the sleeping thread wants to start, if it sleeps
  bool thread_sleeps_ = false;
  bool program_sleeps_ = false;
  bool stop_ = false;
  std::thread thread_;  // not joinable when no thread could be started
};

}  // namespace demtiler
