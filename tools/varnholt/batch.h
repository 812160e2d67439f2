// Many files at once on worker threads, results handed on in input order as
// soon as they are ready.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "analysis/results.h"

namespace varnholt::cli {

using namespace varnholt::analysis;

// Analyses input `index` of the run, at `path`.
using FileAnalyser = std::function<FileResult(std::size_t index, const std::string& path)>;
// Told after each finished file: files done so far, total, and the file.
using ProgressReport = std::function<void(std::size_t, std::size_t, const std::string&)>;
// Takes the result of input `index`; must not throw.
using ResultSink = std::function<void(std::size_t index, FileResult&& result)>;

// Analyses every input with `jobs` worker threads (at most one per file) and
// hands each result to `deliver` in input order, one call at a time, as soon
// as it and every result before it are done. At most 2 * jobs results wait
// at any time (a worker does not start a file further ahead), so memory is
// bounded by the files in flight, not by the batch. The analyser must not
// throw and must be safe to call from several threads.
void run_batch(const std::vector<std::string>& inputs, unsigned jobs, const FileAnalyser& analyse,
               const ProgressReport& progress, const ResultSink& deliver);

// The same, collecting every result: result i at index i.
std::vector<FileResult> run_batch(const std::vector<std::string>& inputs, unsigned jobs,
                                  const FileAnalyser& analyse, const ProgressReport& progress);

// A progress line on the terminal ("\r[3/10] name  42 %  0:51 left"),
// cleared at the end; nothing when stderr is not a terminal or when quiet.
// Safe to use from several threads.
class TerminalProgress {
 public:
  // `total`: the files of the run.
  explicit TerminalProgress(std::size_t total = 0, bool quiet = false);
  ~TerminalProgress();
  TerminalProgress(const TerminalProgress&) = delete;
  TerminalProgress& operator=(const TerminalProgress&) = delete;
  void operator()(std::size_t done, std::size_t total, const std::string& name);
  // A file in progress: the share of it done (0 to 1) after `elapsed_s`
  // seconds, from which the time left is estimated.
  void file(const std::string& name, double share, double elapsed_s);
  // Clears the line, e.g. before a result is written.
  void clear();

 private:
  bool enabled_;
  bool shown_ = false;
  std::size_t done_ = 0;
  std::size_t total_ = 0;
  // When the last file line was drawn: it is redrawn a few times a second.
  std::chrono::steady_clock::time_point last_shown_{};
  std::mutex mutex_;
};

}  // namespace varnholt::cli
