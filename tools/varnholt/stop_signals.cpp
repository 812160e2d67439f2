// sigtimedwait on a dedicated thread: the handler runs as ordinary code, so
// it may take locks and flush streams, which a signal handler may not.
#include "stop_signals.h"

#include <pthread.h>

#include <ctime>

namespace varnholt::cli {
namespace {

sigset_t stop_set() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

// How often the waiting thread looks whether the run is over.
constexpr long POLL_NANOSECONDS = 100'000'000;

}  // namespace

StopSignals::StopSignals(std::function<void(int)> on_signal) {
  const sigset_t set = stop_set();
  pthread_sigmask(SIG_BLOCK, &set, &previous_mask_);
  waiter_ = std::thread([this, on_signal = std::move(on_signal)] {
    const sigset_t waited = stop_set();
    const timespec poll{0, POLL_NANOSECONDS};
    while (!done_) {
      const int signal_number = sigtimedwait(&waited, nullptr, &poll);
      if (signal_number > 0) on_signal(signal_number);
    }
  });
}

StopSignals::~StopSignals() {
  done_ = true;
  waiter_.join();
  pthread_sigmask(SIG_SETMASK, &previous_mask_, nullptr);
}

}  // namespace varnholt::cli
