// The second core: a pass of numbered jobs, run in order on a second thread a
// few ahead of the one the program is using.
//
// Job k fills slot k % slots (a positioned read of a batch of rows or of a
// band, then its conversion) and returns 0 or the run-time error code with
// the row or tile where it arose. A job never prints, records or throws: the
// program's thread takes the slots strictly in order, prints and writes what
// they hold, and raises a returned code where it belongs. No job after a
// failed one is started. When the program would wait for a job, it runs the
// next one itself meanwhile, so a thread that the system keeps off a core
// holds little up.
//
// How long a slot's bytes stay valid: the slot of job k is the program's from
// take(k) until take(k + 2). So the rows of the job taken last and of the one
// before it stay in place together, and a write of rows that straddle two
// jobs can go out from where they lie.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "record_file.hpp"

namespace heightio {

// Memory for a large buffer straight from the system, backed by huge pages of
// 2 MiB where the system gives them, so that it costs a few faults instead of
// hundreds, each costly on a virtual machine. Memory that cannot be had ends
// the program with 203.
class Pages {
 public:
  explicit Pages(std::size_t bytes);
  ~Pages();
  Pages(const Pages&) = delete;
  Pages& operator=(const Pages&) = delete;

  std::uint8_t* data() const { return bytes_; }

 private:
  std::size_t size_ = 0;
  std::uint8_t* bytes_ = nullptr;
};

// Which thread runs a job, for a job that keeps work memory for each.
enum class Runner { thread, program };

// Whether the program runs the next job itself rather than wait. Never, for
// jobs that share one work memory: then only one thread ever runs them.
enum class Helping { when_waiting, never };

class Pipeline {
 public:
  using Job = std::function<JobResult(std::uint64_t k, std::uint8_t* slot, Runner runner)>;

  // `slots` (at least 3) slots of `slot_bytes` bytes each, taken here.
  Pipeline(std::size_t slots, std::size_t slot_bytes, Helping helping = Helping::when_waiting);
  ~Pipeline();
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  // Starts a pass of jobs 0 ... count - 1, ending the pass before.
  void start(std::uint64_t count, Job job);

  struct Taken {
    std::uint8_t* slot;
    JobResult result;
  };

  // Job k's slot and result, once it is done. Jobs are taken in order, and
  // none past one that failed: taking one of those returns, with no slot, the
  // failure of the job that failed, rather than wait for a job never run.
  Taken take(std::uint64_t k);

 private:
  void stop();
  void run_jobs();
  bool claimable() const;
  // Runs job k, unlocked, on `runner`'s behalf and stores its result.
  void run(std::unique_lock<std::mutex>& lock, std::uint64_t k, Runner runner);
  std::uint8_t* slot(std::uint64_t k) const { return pages_.data() + k % slots_ * slot_bytes_; }

  const std::size_t slots_;
  const std::size_t slot_bytes_;
  const Helping helping_;
  Pages pages_;
  Job job_;
  std::uint64_t count_ = 0;

  // Each side sleeps on its own condition and is woken only when what it
  // waits for has come: a wake-up for nothing costs more than a job on a
  // busy machine.
  std::mutex mutex_;
  std::condition_variable slot_freed_;
  std::condition_variable job_done_;
  std::vector<std::int64_t> done_;  // by slot: the job whose result is there, or -1
  std::vector<JobResult> results_;  // by slot
  std::uint64_t claimed_ = 0;       // jobs claimed, in order, by either thread
  std::uint64_t released_ = 0;      // jobs whose slots the program has handed back
  bool failed_ = false;             // a job failed: none after it is claimed
  JobResult failure_;               // what the failed job returned
  bool thread_sleeps_ = false;
  bool program_sleeps_ = false;
  bool stop_ = false;
  std::thread thread_;  // not joinable when no thread could be started
};

}  // namespace heightio
