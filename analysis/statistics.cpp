// Mean, maximum and interpolated percentiles of a series of frame values.
#include "statistics.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace varnholt::analysis {

double mean(std::span<const double> values) {
  if (values.empty()) return 0.0;
  double sum = 0.0;
  for (double v : values) sum += v;
  return sum / static_cast<double>(values.size());
}

double maximum(std::span<const double> values) {
  return values.empty() ? 0.0 : values[index_of_maximum(values)];
}

std::size_t index_of_maximum(std::span<const double> values) {
  std::size_t best = 0;
  for (std::size_t i = 1; i < values.size(); ++i) {
    if (values[i] > values[best]) best = i;
  }
  return best;
}

double percentile(std::span<const double> values, double p) {
  if (values.empty()) return 0.0;
  std::vector<double> sorted(values.begin(), values.end());
  std::sort(sorted.begin(), sorted.end());
  const double rank = std::clamp(p, 0.0, 100.0) / 100.0 * static_cast<double>(sorted.size() - 1);
  const auto below = static_cast<std::size_t>(std::floor(rank));
  const std::size_t above = std::min(below + 1, sorted.size() - 1);
  const double fraction = rank - static_cast<double>(below);
  return sorted[below] + fraction * (sorted[above] - sorted[below]);
}

double percent_exceeded(std::span<const double> values, double x) {
  return percentile(values, 100.0 - x);
}

std::size_t first_frame_from(std::span<const double> times_s, double t_s) {
  const auto it = std::lower_bound(times_s.begin(), times_s.end(), t_s);
  return static_cast<std::size_t>(it - times_s.begin());
}

}  // namespace varnholt::analysis
