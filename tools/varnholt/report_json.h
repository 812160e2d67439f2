// The complete results as JSON: single values with their definitions, time
// series with frame times, per-band arrays, units and the calibration.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/results.h"
#include "run_info.h"

namespace varnholt::cli {

using namespace varnholt::analysis;

// One document: the run's settings and every file.
nlohmann::ordered_json json_report(const std::vector<FileResult>& files, const RunInfo& run);

// Writes the document of one file to `out`, serialised as it is written
// (no copy of the text in memory), with a final newline.
void write_json_document(std::ostream& out, const FileResult& file, const RunInfo& run);

// Writes the JSON Lines form of one file: one document of the form above per
// channel, holding that file with just that channel (a file that failed as a
// whole: one document without channels), each on one line.
void write_json_lines(std::ostream& out, const FileResult& file, const RunInfo& run);

}  // namespace varnholt::cli
