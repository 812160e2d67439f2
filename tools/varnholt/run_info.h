// The settings of one run that every output states.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/calibration.h"
#include "analysis/metric.h"

namespace varnholt::cli {

using namespace varnholt::analysis;

struct RunInfo {
  Calibration calibration;
  std::int32_t sound_field = 0;
  std::optional<int> channel;
  std::vector<Metric> metrics;
};

inline std::string sound_field_name(std::int32_t field) { return field == 1 ? "diffuse" : "free"; }

}  // namespace varnholt::cli
