// One CSV file per time-resolved metric, input file and channel.
#pragma once

#include <string>
#include <vector>

#include "number_format.h"
#include "results.h"

namespace varnholt::cli {

// Writes into `dir` (created when missing) files named
// "<name>.ch<channel>.<metric>.csv", <name> being the input's file name
// without extension ("stdin" for "-"), made unique with "-2", "-3", ...
// when inputs share a name. Columns: time_s first, then every series of the
// metric, each header naming its unit. Returns the paths written; throws
// std::runtime_error when a file cannot be written.
std::vector<std::string> write_csv_files(const std::string& dir,
                                         const std::vector<FileResult>& files,
                                         const NumberFormat& format);

// A number as a CSV cell; empty for NaN, which stands for "no value".
std::string csv_cell(double value, const NumberFormat& format);

// "loudness_sone", "tonality" for a dimensionless series.
std::string csv_column_name(const Series& series);

}  // namespace varnholt::cli
