// What the analysis of one file gives: per channel, one result per metric
// with its single values, time series and per-band arrays, all with units.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <span>
#include <cstdint>
#include <string>
#include <vector>

#include "band_rows.h"
#include "band_spool.h"
#include "metric.h"

namespace varnholt::analysis {

// One single-number value with the definition of how it was formed.
struct Summary {
  std::string symbol;  // short name for the text summary, e.g. "N5"
  std::string key;     // JSON key, e.g. "n5"
  double value = 0.0;
  std::string unit;  // empty for a dimensionless value
  std::string definition;
};

// One value per frame, on the frame times of its metric. A NaN stands for
// "no value in this frame": an empty cell in CSV, null in JSON.
struct Series {
  std::string key;  // JSON key and CSV column stem
  std::string unit;
  std::string definition;
  std::vector<double> values;
};

// Values per band: one row of `bands` values per frame (a single row for a
// stationary pattern), on an axis in `axis_unit`. NaN: no value, as in Series.
// An array reduced for display has a row per run of `frames_per_row` frames,
// each the largest value per band over its run, at the mean time of its run.
struct BandArray {
  std::string key;
  std::string unit;
  std::string axis_key;
  std::string axis_unit;
  std::vector<double> axis;
  std::size_t bands = 0;
  std::vector<double> values;  // frame-major: rows of `bands` values
  // Where the values are spooled instead (then `values` is empty).
  std::shared_ptr<const BandSpool> spool;
  std::size_t frames_per_row = 1;
  std::vector<double> row_times_s;  // reduced arrays only; else the frame times

  std::size_t value_count() const { return spool ? spool->size() : values.size(); }
  std::size_t rows() const { return bands == 0 ? 0 : value_count() / bands; }
  // Values first ... first + out.size() - 1, wherever they are kept.
  void read(std::size_t first, std::span<double> out) const {
    if (spool) {
      spool->read(first, out);
    } else {
      std::copy_n(values.begin() + static_cast<std::ptrdiff_t>(first), out.size(), out.begin());
    }
  }
  // Takes the collected rows.
  void keep(BandRows rows) {
    frames_per_row = rows.frames_per_row();
    values = rows.take_memory();
    spool = rows.spool();
  }
};

struct MetricResult {
  Metric metric = Metric::loudness;
  std::string method;  // e.g. "ISO 532-1, Zwicker method, stationary"
  std::string error;   // the library's status text when the metric failed
  std::int32_t status = 0;  // and its status (VH_OK when it succeeded)
  std::vector<Summary> summaries;
  std::string frame_time_definition;  // empty for stationary metrics
  std::vector<double> frame_times_s;
  std::vector<Series> series;
  std::vector<BandArray> band_arrays;

  bool ok() const { return error.empty(); }
};

struct ChannelResult {
  int channel = 1;          // 1-based
  std::string error;        // set when the channel could not be analysed at all
  std::int32_t status = 0;  // the status that error stands for (VH_OK without one)
  std::size_t samples = 0;  // analysed samples at 48 kHz
  double peak_pa = 0.0;
  double rms_pa = 0.0;
  double dc_offset_pa = 0.0;  // the mean pressure, before --remove-dc
  bool dc_removed = false;
  std::vector<std::string> warnings;  // one sentence each
  std::vector<MetricResult> metrics;
};

struct FileResult {
  std::string path;
  std::string description;  // for the built-in demo signal
  std::string error;        // set when the file could not be analysed at all
  std::string format;
  int file_rate_hz = 0;
  bool resampled = false;
  std::size_t file_frames = 0;       // sample frames in the file, at its own rate
  std::size_t analysed_samples = 0;  // samples per channel at 48 kHz
  int channel_count = 0;
  double start_s = 0.0;               // the analysed part of the file (--start)
  double duration_s = 0.0;            // its length in seconds
  std::string csv_name;               // stem of its CSV files, unique in the batch
  bool frame_csv_written = false;     // its per-frame CSV files were written as frames came
  std::vector<std::string> csv_errors;  // per-frame CSV files that could not be written
  std::vector<std::string> warnings;  // one sentence each
  std::vector<ChannelResult> channels;
};

// One line per failure, "file: channel 2: roughness: input is too short";
// empty when everything succeeded.
std::vector<std::string> failure_lines(const FileResult& file);

}  // namespace varnholt::analysis
