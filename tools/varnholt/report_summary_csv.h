// The summary table of a batch: one CSV row per file and channel, one column
// per single value of the chosen metrics with its unit in the header.
#pragma once

#include <string>
#include <vector>

#include "analysis/metric.h"
#include "analysis/number_format.h"
#include "analysis/results.h"

namespace varnholt::cli {

using namespace varnholt::analysis;

// "path,channel,status,error,warnings,level_db_spl [dB],..., then per metric
// "<metric>.<key> [<unit>]" ("[...]" left out for dimensionless values).
std::string summary_csv_header(const std::vector<Metric>& metrics);

// The rows of one file, each ending in a newline: one per analysed channel,
// or a single row with the error of a file that could not be analysed.
// A value the analysis did not give (a failed metric, no tonal frequency) is
// an empty cell; the error column names every failure.
std::string summary_csv_rows(const FileResult& file, const std::vector<Metric>& metrics,
                             const NumberFormat& format);

// A text cell: quoted, with inner quotes doubled, when it holds a comma,
// quote or line break.
std::string csv_text(const std::string& text);

}  // namespace varnholt::cli
