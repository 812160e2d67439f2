// Command-line names of the metrics.
#include "metric.h"

namespace varnholt::cli {

std::string_view metric_name(Metric m) {
  switch (m) {
    case Metric::loudness:
      return "loudness";
    case Metric::loudness_time:
      return "loudness-time";
    case Metric::sharpness:
      return "sharpness";
    case Metric::roughness:
      return "roughness";
    case Metric::tonality:
      return "tonality";
    case Metric::ecma_tonality:
      return "ecma-tonality";
    case Metric::ecma_roughness:
      return "ecma-roughness";
    case Metric::levels:
      return "levels";
  }
  return "unknown";
}

std::optional<Metric> metric_from_name(std::string_view name) {
  for (Metric m : ALL_METRICS) {
    if (metric_name(m) == name) return m;
  }
  return std::nullopt;
}

}  // namespace varnholt::cli
