// The complete results as JSON: single values with their definitions, time
// series with frame times, per-band arrays, units and the calibration.
#pragma once

#include <nlohmann/json.hpp>
#include <vector>

#include "results.h"
#include "run_info.h"

namespace varnholt::cli {

nlohmann::ordered_json json_report(const std::vector<FileResult>& files, const RunInfo& run);

}  // namespace varnholt::cli
