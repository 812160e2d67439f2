// SIGINT and SIGTERM handled on a thread of their own, so that a run stopped
// from outside ends between two files' outputs, never inside one.
#pragma once

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

namespace varnholt::cli {

class StopSignals {
 public:
  // Blocks SIGINT and SIGTERM in the calling thread (and so in every thread
  // it starts afterwards) and waits for them on a thread of its own, which
  // calls `on_signal` with the signal number. on_signal must end the
  // process.
  explicit StopSignals(std::function<void(int)> on_signal);
  // Stops waiting and restores the signal mask.
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  sigset_t previous_mask_{};
  std::atomic<bool> done_{false};
  std::thread waiter_;
};

}  // namespace varnholt::cli
