// Command-line names of the metrics.
#include "metric.h"

#include <algorithm>

namespace varnholt::analysis {

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

std::optional<std::vector<Metric>> metrics_from_list(std::string_view list) {
  std::vector<Metric> metrics;
  while (true) {
    const std::size_t comma = list.find(',');
    std::string_view name = list.substr(0, comma);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (name == "all") {
      metrics.assign(ALL_METRICS.begin(), ALL_METRICS.end());
    } else {
      const std::optional<Metric> m = metric_from_name(name);
      if (!m) return std::nullopt;
      if (std::find(metrics.begin(), metrics.end(), *m) == metrics.end()) metrics.push_back(*m);
    }
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return metrics;
}

}  // namespace varnholt::analysis
