// Handing out the tasks of a job to the caller and the team's helpers.
#include "core/task_team.h"

#include <chrono>
#include <new>
#include <system_error>

namespace varnholt {
namespace {

// How long a thread watches for the next job or the end of the current one
// before it sleeps: longer than the gaps between the jobs of a push, short
// against the work of a push.
constexpr std::chrono::microseconds SPIN_TIME{200};

// Lets the other hardware thread of a core run while this one waits.
inline void cpu_relax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

}  // namespace

template <typename Ready>
bool TaskTeam::spin_until(Ready&& ready) noexcept {
  const auto deadline = std::chrono::steady_clock::now() + SPIN_TIME;
  for (;;) {
    for (int k = 0; k < 64; ++k) {
      if (ready()) return true;
      cpu_relax();
    }
    if (std::chrono::steady_clock::now() >= deadline) return ready();
  }
}

void TaskTeam::resize(std::size_t threads) {
  if (threads < 1) threads = 1;
  if (threads == size()) return;
  stop_helpers();
  helpers_.reserve(threads - 1);
  for (std::size_t h = 0; h + 1 < threads; ++h) {
    try {
      helpers_.emplace_back(&TaskTeam::serve, this, h + 1);
    } catch (const std::system_error&) {
      break;  // no more threads to be had: the team works with those it has
    }
  }
}

void TaskTeam::stop_helpers() noexcept {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  job_posted_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
  helpers_.clear();
  const std::lock_guard<std::mutex> lock(mutex_);
  stopping_ = false;
}

void TaskTeam::run_job(Job job, std::size_t count) noexcept {
  std::unique_lock<std::mutex> lock(mutex_);
  job_ = job;
  next_ = 0;
  count_ = count;
  unfinished_ = count;
  ++generation_;
  lock.unlock();
  job_posted_.notify_all();
  lock.lock();
  work(lock, 0);
  // Helpers still busy with a task hold it to the end; the job's data lives
  // on the caller's side until then.
  if (unfinished_ != 0) {
    lock.unlock();
    spin_until([this] { return unfinished_.load(std::memory_order_acquire) == 0; });
    lock.lock();
    job_done_.wait(lock, [this] { return unfinished_ == 0; });
  }
  job_ = Job{nullptr, nullptr};
}

void TaskTeam::work(std::unique_lock<std::mutex>& lock, std::size_t worker) noexcept {
  while (next_ < count_) {
    const std::size_t t = next_++;
    const Job job = job_;
    lock.unlock();
    job.call(job.task, t, worker);
    lock.lock();
    if (--unfinished_ == 0) job_done_.notify_one();
  }
}

void TaskTeam::serve(std::size_t worker) noexcept {
  std::unique_lock<std::mutex> lock(mutex_);
  std::uint64_t seen = generation_;
  for (;;) {
    lock.unlock();
    spin_until([&] {
      return stopping_.load(std::memory_order_acquire) ||
             generation_.load(std::memory_order_acquire) != seen;
    });
    lock.lock();
    job_posted_.wait(lock, [&] { return stopping_ || generation_ != seen; });
    if (stopping_) return;
    seen = generation_;
    work(lock, worker);
  }
}

}  // namespace varnholt
