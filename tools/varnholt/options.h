// The command line: what to analyse, how to calibrate, what to write.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "analysis/calibration.h"
#include "analysis/metric.h"
#include "analysis/number_format.h"

namespace varnholt::cli {

using namespace varnholt::analysis;

// Exit statuses of the program.
inline constexpr int EXIT_ALL_OK = 0;
inline constexpr int EXIT_SOME_FAILED = 1;  // a file or a metric failed
inline constexpr int EXIT_USAGE = 2;        // bad command line or calibration

// The number of cores (1 when unknown), at most 256.
unsigned default_jobs();

struct Options {
  bool demo = false;
  std::vector<std::string> inputs;
  std::optional<int> channel;  // 1-based
  std::vector<Metric> metrics;
  std::int32_t sound_field = 0;  // 0 free field, 1 diffuse field
  CalibrationRequest calibration;
  std::optional<std::string> json_path;  // "-" for standard output
  std::optional<std::string> csv_dir;
  bool csv_bands = false;                       // per-band CSV files too
  std::optional<std::string> summary_csv_path;  // one row per file and channel
  bool text_bands = false;                      // band levels in the text summary
  bool remove_dc = false;                       // subtract each channel's mean
  bool recursive = false;                       // folders: descend into subfolders
  double start_s = 0.0;                         // analysed part of every file
  std::optional<double> duration_s;
  NumberFormat text_format;  // the text summary
  NumberFormat csv_format;   // CSV cells
  // Worker threads: files at once, and the metrics and channels of one file
  // side by side. By default the machine's cores.
  unsigned jobs = default_jobs();
  bool quiet = false;   // no progress on the terminal
  bool follow = false;  // print each frame's values as they become final
};

struct ParsedCommandLine {
  std::optional<Options> options;  // empty when the program should exit
  int exit_code = EXIT_ALL_OK;
};

// Parses argv. Help and version are written to `out` (exit 0); a usage
// error is written to `err` as one line plus a hint (exit EXIT_USAGE).
ParsedCommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out,
                                     std::ostream& err);

}  // namespace varnholt::cli
