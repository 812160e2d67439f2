// One CSV file per time-resolved metric, input file and channel; on request
// one per per-band array as well.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "analysis/metric.h"

#include "analysis/number_format.h"
#include "analysis/results.h"

namespace varnholt::cli {

using namespace varnholt::analysis;

// The stem of each input's CSV files: the input's file name without
// extension ("stdin" for "-"), made unique with "-2", "-3", ... in input
// order when inputs share a name.
std::vector<std::string> csv_names(const std::vector<std::string>& inputs);

// Writes the CSV files of one input into `dir` (which must exist), named
// "<name>.ch<channel>.<metric>.csv": columns time_s first, then every series
// of the metric, each header naming its unit (unless `frames_written`: a
// FrameCsvWriter wrote those already). With `bands`, also
// "<name>.ch<channel>.<metric>.<array>_<unit>.csv" per per-band array: one
// row per frame (time_s first) or a single row for a stationary array, one
// column per band headed by its axis value and unit. Returns the paths
// written; throws std::runtime_error when a file cannot be written.
std::vector<std::string> write_csv_files(const std::string& dir, const FileResult& file,
                                         const std::string& name, const NumberFormat& format,
                                         bool bands, bool frames_written = false);

// The per-frame CSV files of one input written row by row as the frames
// become final, exactly as write_csv_files writes them from a whole result.
// Each grows as "<file>.csv.part" and takes its name when its metric is
// done, so a file under its own name is always complete.
// Rows of one (channel, metric) come in order from one thread at a time;
// different pairs may come from different threads.
class FrameCsvWriter {
 public:
  FrameCsvWriter(std::string dir, std::string name, NumberFormat format)
      : dir_(std::move(dir)), name_(std::move(name)), format_(format) {}

  // One frame: its time and the values of frame_columns(metric). The file
  // is created, with its header, at the first frame.
  void row(int channel, Metric metric, double time_s, std::span<const double> values);

  // Closes every file, names those of the metrics that succeeded and removes
  // those of metrics (or a whole file) that failed, which have no CSV file. Returns one message per file that could
  // not be written.
  std::vector<std::string> finish(const FileResult& file);

 private:
  struct Output {
    std::filesystem::path path;
    std::ofstream out;
  };
  std::string dir_, name_;
  NumberFormat format_;
  std::mutex mutex_;
  std::map<std::pair<int, Metric>, std::unique_ptr<Output>> outputs_;
};

// The same for several inputs at once, names from csv_names (creates dir).
std::vector<std::string> write_csv_files(const std::string& dir,
                                         const std::vector<FileResult>& files,
                                         const NumberFormat& format);

// A number as a CSV cell; empty for NaN, which stands for "no value".
std::string csv_cell(double value, const NumberFormat& format);

// "loudness_sone", "tonality" for a dimensionless series.
std::string csv_column_name(const Series& series);

}  // namespace varnholt::cli
