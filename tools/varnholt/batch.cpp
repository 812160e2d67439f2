// The batch runner: workers take the next input from a shared counter, so
// the results land in input order whatever the timing.
#include "batch.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

namespace varnholt::cli {

std::vector<FileResult> run_batch(const std::vector<std::string>& inputs, unsigned jobs,
                                  const FileAnalyser& analyse, const ProgressReport& progress) {
  std::vector<FileResult> results(inputs.size());
  std::atomic<std::size_t> next{0};
  std::size_t done = 0;
  std::mutex progress_mutex;
  const auto work = [&] {
    for (std::size_t i = next++; i < inputs.size(); i = next++) {
      results[i] = analyse(inputs[i]);
      if (progress) {
        const std::lock_guard<std::mutex> lock(progress_mutex);
        progress(++done, inputs.size(), inputs[i]);
      }
    }
  };
  const std::size_t workers = std::min<std::size_t>(std::max(jobs, 1u), inputs.size());
  if (workers <= 1) {
    work();
    return results;
  }
  std::vector<std::jthread> threads;
  threads.reserve(workers);
  for (std::size_t w = 0; w < workers; ++w) threads.emplace_back(work);
  threads.clear();  // joins
  return results;
}

TerminalProgress::TerminalProgress() : enabled_(isatty(STDERR_FILENO) == 1) {}

TerminalProgress::~TerminalProgress() {
  if (shown_) std::fputs("\r\033[K", stderr);
}

void TerminalProgress::operator()(std::size_t done, std::size_t total, const std::string& name) {
  if (!enabled_) return;
  std::fprintf(stderr, "\r\033[K[%zu/%zu] %s", done, total, name.c_str());
  std::fflush(stderr);
  shown_ = true;
}

}  // namespace varnholt::cli
