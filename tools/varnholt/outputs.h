// Every output of a run, opened before the analysis starts and written file
// by file as results arrive: the text summary, JSON (one document for one
// input, JSON Lines for several), CSV files and the summary table.
#pragma once

#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "options.h"
#include "analysis/results.h"
#include "run_info.h"

namespace varnholt::cli {

using namespace varnholt::analysis;

// An output that cannot be written; what() names the path and the reason.
class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Outputs {
 public:
  // Checks and opens every output named in `o`: the JSON and summary files
  // are created (the summary with its header), the CSV directory is created
  // and must be writable. Throws OutputError before anything is analysed.
  // `inputs`: the files of the run, in order (CSV names come from them);
  // `json_lines`: write JSON Lines instead of one document.
  Outputs(const Options& o, const RunInfo& run, const std::vector<std::string>& inputs,
          bool json_lines);

  // Writes the results of input `index` to every output and flushes them.
  // Never throws. Safe to call from any thread; one file's output is written
  // whole before another's starts. Returns false when the file or one of its
  // metrics failed, or an output could not be written (reported on stderr).
  bool write(std::size_t index, FileResult file);

  // Called on SIGINT or SIGTERM: waits for a write in progress to complete,
  // removes a JSON document that was opened but never written (it would not
  // be valid JSON), flushes, and holds the outputs so that nothing further
  // is written. Returns with the lock held.
  void stop();

  // The stem of input `index`'s CSV files.
  const std::string& csv_name(std::size_t index) const { return csv_names_[index]; }

 private:
  bool write_locked(std::size_t index, FileResult& file);
  void write_json(const FileResult& file, bool& ok);
  // The summary table's file, or standard output for "-".
  std::ostream& summary_stream();

  const Options& options_;
  const RunInfo& run_;
  std::vector<std::string> csv_names_;
  bool json_lines_;
  bool json_written_ = false;
  std::ofstream json_file_;
  std::ofstream summary_file_;
  std::mutex mutex_;
  std::optional<std::unique_lock<std::mutex>> stopped_;
};

}  // namespace varnholt::cli
