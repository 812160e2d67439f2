// A small team of threads owned by one object: the caller and its helpers
// share out the numbered tasks of one job at a time.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace varnholt {

class TaskTeam {
 public:
  TaskTeam() = default;
  TaskTeam(const TaskTeam&) = delete;
  TaskTeam& operator=(const TaskTeam&) = delete;
  ~TaskTeam() { stop_helpers(); }

  // Makes the team `threads` strong, the caller included (at least 1). When
  // the system cannot start a thread the team stays smaller: the same jobs
  // then run on fewer threads. Throws std::bad_alloc.
  void resize(std::size_t threads);

  // Threads that work on a job, the caller included.
  std::size_t size() const noexcept { return helpers_.size() + 1; }

  // Runs task(t, worker) for every t in [0, count) and returns when all have
  // returned. Tasks are handed out in order of t to whichever thread is free
  // (the caller is worker 0, helper h is worker h + 1), so each task must
  // depend only on its own number and write only its own outputs; `worker`
  // picks the working arrays of the thread. Tasks must not throw.
  template <typename Task>
  void run(std::size_t count, Task& task) noexcept {
    if (helpers_.empty()) {
      for (std::size_t t = 0; t < count; ++t) task(t, 0);
      return;
    }
    run_job(Job{&task, [](void* f, std::size_t t, std::size_t worker) {
                  (*static_cast<Task*>(f))(t, worker);
                }},
            count);
  }

 private:
  struct Job {
    void* task;
    void (*call)(void* task, std::size_t t, std::size_t worker);
  };

  void run_job(Job job, std::size_t count) noexcept;
  // Takes and runs tasks of the current job until none is left; `lock`
  // holds the mutex on entry and on return.
  void work(std::unique_lock<std::mutex>& lock, std::size_t worker) noexcept;
  void serve(std::size_t worker) noexcept;
  // Watches `ready` for a short while before the caller blocks: jobs follow
  // each other within microseconds during a push, and waking a sleeping
  // thread costs far more than that.
  template <typename Ready>
  static bool spin_until(Ready&& ready) noexcept;
  void stop_helpers() noexcept;

  std::vector<std::thread> helpers_;
  std::mutex mutex_;
  std::condition_variable job_posted_, job_done_;
  Job job_{nullptr, nullptr};
  std::size_t next_ = 0, count_ = 0;
  // Written under the mutex, also read without it while spinning.
  std::atomic<std::size_t> unfinished_{0};
  std::atomic<std::uint64_t> generation_{0};
  std::atomic<bool> stopping_{false};
};

}  // namespace varnholt
