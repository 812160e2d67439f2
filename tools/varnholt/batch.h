// Many files at once on worker threads, results in the order given.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "results.h"

namespace varnholt::cli {

using FileAnalyser = std::function<FileResult(const std::string&)>;
// Told after each finished file: files done so far, total, and the file.
using ProgressReport = std::function<void(std::size_t, std::size_t, const std::string&)>;

// Analyses every input with `jobs` worker threads (at most one per file).
// The result of input i is at index i whatever the number of threads; the
// analyser must not throw and must be safe to call from several threads.
std::vector<FileResult> run_batch(const std::vector<std::string>& inputs, unsigned jobs,
                                  const FileAnalyser& analyse, const ProgressReport& progress);

// A progress line on the terminal ("\r[3/10] name"), cleared at the end;
// nothing when stderr is not a terminal.
class TerminalProgress {
 public:
  TerminalProgress();
  ~TerminalProgress();
  TerminalProgress(const TerminalProgress&) = delete;
  TerminalProgress& operator=(const TerminalProgress&) = delete;
  void operator()(std::size_t done, std::size_t total, const std::string& name);

 private:
  bool enabled_;
  bool shown_ = false;
};

}  // namespace varnholt::cli
