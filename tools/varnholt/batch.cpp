// The batch runner: workers take the next input from a shared counter, and
// whichever worker completes the next result in input order hands it on,
// together with any later results already waiting.
#include "batch.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

namespace varnholt::cli {

using namespace varnholt::analysis;

void run_batch(const std::vector<std::string>& inputs, unsigned jobs, const FileAnalyser& analyse,
               const ProgressReport& progress, const ResultSink& deliver) {
  const std::size_t total = inputs.size();
  const std::size_t workers = std::min<std::size_t>(std::max(jobs, 1u), total);
  const std::size_t window = 2 * std::max<std::size_t>(workers, 1);
  std::mutex mutex;
  std::condition_variable changed;
  std::map<std::size_t, FileResult> waiting;
  std::size_t next_claim = 0;
  std::size_t next_delivery = 0;
  std::size_t done = 0;
  bool delivering = false;

  const auto work = [&] {
    for (;;) {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock,
                   [&] { return next_claim >= total || next_claim < next_delivery + window; });
      if (next_claim >= total) return;
      const std::size_t i = next_claim++;
      lock.unlock();
      FileResult result = analyse(i, inputs[i]);
      lock.lock();
      if (progress) progress(++done, total, inputs[i]);
      waiting.emplace(i, std::move(result));
      if (delivering) continue;  // the delivering worker will pick it up
      delivering = true;
      while (!waiting.empty() && waiting.begin()->first == next_delivery) {
        FileResult ready = std::move(waiting.begin()->second);
        waiting.erase(waiting.begin());
        const std::size_t index = next_delivery;
        lock.unlock();
        deliver(index, std::move(ready));
        lock.lock();
        next_delivery = index + 1;
        changed.notify_all();
      }
      delivering = false;
    }
  };
  if (workers <= 1) {
    work();
    return;
  }
  std::vector<std::jthread> threads;
  threads.reserve(workers);
  for (std::size_t w = 0; w < workers; ++w) threads.emplace_back(work);
}

std::vector<FileResult> run_batch(const std::vector<std::string>& inputs, unsigned jobs,
                                  const FileAnalyser& analyse, const ProgressReport& progress) {
  std::vector<FileResult> results(inputs.size());
  run_batch(inputs, jobs, analyse, progress,
            [&results](std::size_t i, FileResult&& r) { results[i] = std::move(r); });
  return results;
}

TerminalProgress::TerminalProgress(std::size_t total, bool quiet)
    : enabled_(!quiet && isatty(STDERR_FILENO) == 1), total_(total) {}

TerminalProgress::~TerminalProgress() { clear(); }

void TerminalProgress::clear() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (shown_) std::fputs("\r\033[K", stderr);
  shown_ = false;
}

void TerminalProgress::operator()(std::size_t done, std::size_t total, const std::string& name) {
  if (!enabled_) return;
  const std::lock_guard<std::mutex> lock(mutex_);
  done_ = done;
  total_ = total;
  std::fprintf(stderr, "\r\033[K[%zu/%zu] %s", done, total, name.c_str());
  std::fflush(stderr);
  shown_ = true;
}

void TerminalProgress::file(const std::string& name, double share, double elapsed_s) {
  if (!enabled_) return;
  // The time left is guessed only once a little of the file is done.
  constexpr double SHARE_BEFORE_ESTIMATE = 0.01;
  constexpr std::chrono::milliseconds REDRAW_INTERVAL{250};
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto now = std::chrono::steady_clock::now();
  if (now - last_shown_ < REDRAW_INTERVAL && share < 1.0) return;
  last_shown_ = now;
  std::fprintf(stderr, "\r\033[K[%zu/%zu] %s  %.0f %%", done_, total_, name.c_str(),
               100.0 * share);
  if (share >= SHARE_BEFORE_ESTIMATE && share < 1.0) {
    const auto left = static_cast<long long>(std::lround(elapsed_s * (1.0 - share) / share));
    std::fprintf(stderr, "  %lld:%02lld left", left / 60, left % 60);
  }
  std::fflush(stderr);
  shown_ = true;
}

}  // namespace varnholt::cli
