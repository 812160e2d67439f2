// Specific loudness after Zwicker: each critical band holds its core loudness
// up to its upper edge, and a loud band masks the bands above it along upper
// slopes that are steeper for louder and lower bands. The pattern is a chain
// of straight segments; the total loudness is its area, the pattern its
// samples at every 0.1 Bark.
#include "loudness/loudness_pattern.h"

#include <array>
#include <cstddef>

#include "core/axes.h"
#include "loudness/core_loudness.h"

namespace varnholt {
namespace {

inline constexpr std::size_t LEVEL_STEP_COUNT = 18;
inline constexpr std::size_t SLOPE_COLUMN_COUNT = 8;

// Upper edges in Bark of the 20 critical bands and of the empty band 20.
constexpr double UPPER_BAND_EDGES[CORE_LOUDNESS_LENGTH] = {
    0.9, 1.8, 2.8, 3.5, 4.4, 5.4, 6.6, 7.9, 9.2, 10.6, 12.3,
    13.8, 15.2, 16.7, 18.1, 19.3, 20.6, 21.8, 22.7, 23.6, 24.0};

// Specific-loudness steps in sone/Bark at which the upper slope changes. The
// last one (0) only closes the table; it is never compared.
constexpr double LEVEL_STEPS[LEVEL_STEP_COUNT] = {21.5, 18, 15.1, 11.5, 9, 6.1, 4.4, 3.1, 2.13,
                                                  1.36, 0.82, 0.42, 0.3, 0.22, 0.15, 0.1, 0.035, 0};

// Upper slopes in sone/Bark per Bark, row = level step, column = band group.
constexpr double UPPER_SLOPES[LEVEL_STEP_COUNT][SLOPE_COLUMN_COUNT] = {
    {13, 8.2, 6.3, 5.5, 5.5, 5.5, 5.5, 5.5},
    {9, 7.5, 6, 5.1, 4.5, 4.5, 4.5, 4.5},
    {7.8, 6.7, 5.6, 4.9, 4.4, 3.9, 3.9, 3.9},
    {6.2, 5.4, 4.6, 4, 3.5, 3.2, 3.2, 3.2},
    {4.5, 3.8, 3.6, 3.2, 2.9, 2.7, 2.7, 2.7},
    {3.7, 3, 2.8, 2.35, 2.2, 2.2, 2.2, 2.2},
    {2.9, 2.3, 2.1, 1.9, 1.8, 1.7, 1.7, 1.7},
    {2.4, 1.7, 1.5, 1.35, 1.3, 1.3, 1.3, 1.3},
    {1.95, 1.45, 1.3, 1.15, 1.1, 1.1, 1.1, 1.1},
    {1.5, 1.2, 0.94, 0.86, 0.82, 0.82, 0.82, 0.82},
    {0.72, 0.67, 0.64, 0.63, 0.62, 0.62, 0.62, 0.62},
    {0.59, 0.53, 0.51, 0.5, 0.42, 0.42, 0.42, 0.42},
    {0.4, 0.33, 0.26, 0.24, 0.22, 0.22, 0.22, 0.22},
    {0.27, 0.21, 0.2, 0.18, 0.17, 0.17, 0.17, 0.17},
    {0.16, 0.15, 0.14, 0.12, 0.11, 0.11, 0.11, 0.11},
    {0.12, 0.11, 0.1, 0.08, 0.08, 0.08, 0.08, 0.08},
    {0.09, 0.08, 0.07, 0.06, 0.06, 0.06, 0.06, 0.05},
    {0.06, 0.05, 0.03, 0.02, 0.02, 0.02, 0.02, 0.02},
};

// Tolerance of the band-edge test and the level-step search: a segment ending
// within it of an edge or step counts as having reached it.
constexpr double EDGE_TOLERANCE = 1e-12;
// Tolerance of the sampling test, so a segment that ends exactly on a multiple
// of 0.1 Bark (up to rounding) owns that sample point.
constexpr double SAMPLING_TOLERANCE = 1e-10;

// The level steps with the search tolerance added, as the search compares
// them.
constexpr std::array<double, LEVEL_STEP_COUNT> LEVEL_STEP_THRESHOLDS = [] {
  std::array<double, LEVEL_STEP_COUNT> t{};
  for (std::size_t j = 0; j < LEVEL_STEP_COUNT; ++j) t[j] = LEVEL_STEPS[j] + EDGE_TOLERANCE;
  return t;
}();

// The first level step the current value lies above; the slope below it
// applies. The search starts at `first`, which must not lie beyond the answer:
// while the pattern falls its value only shrinks, so the step of the previous
// segment is a valid start.
std::size_t level_step_below(double value, std::size_t first) {
  std::size_t j = first;
  while (j < LEVEL_STEP_COUNT - 1 && !(value > LEVEL_STEP_THRESHOLDS[j])) ++j;
  return j;
}

// The running end point of the pattern and the sample points written so far;
// with out null only the area is summed.
struct Pattern {
  double z1 = 0.0;  // Bark
  double n1 = 0.0;  // sone/Bark
  std::size_t next = 0;
  double total = 0.0;
  double* out;

  // Appends the straight segment from (z1, n1) to (z2, n2).
  void append(double z2, double n2) {
    total = total + (n1 + n2) / 2.0 * (z2 - z1);
    if (out == nullptr) {
      z1 = z2;
      n1 = n2;
      return;
    }
    while (next < SPECIFIC_LOUDNESS_LENGTH && 0.1 * static_cast<double>(next + 1) <= z2 + SAMPLING_TOLERANCE) {
      const double z = 0.1 * static_cast<double>(next + 1);
      const double value = z2 > z1 ? n1 + (z - z1) / (z2 - z1) * (n2 - n1) : n2;
      out[next] = value < 0.0 ? 0.0 : value;
      ++next;
    }
    z1 = z2;
    n1 = n2;
  }
};

// Walks the chain of segments of core[21]; samples it into out[240] (every
// entry) unless out is null. Returns the total loudness.
double pattern_from_core(const double* core, double* out) noexcept {
  Pattern pattern;
  pattern.out = out;
  // Where the level-step search may start: 0 whenever the pattern has risen.
  std::size_t step_hint = 0;
  for (std::size_t i = 0; i < CORE_LOUDNESS_LENGTH; ++i) {
    const double edge = UPPER_BAND_EDGES[i];
    const double core_value = core[i];
    const std::size_t g = i == 0 ? 0 : (i - 1 < SLOPE_COLUMN_COUNT ? i - 1 : SLOPE_COLUMN_COUNT - 1);
    while (edge - EDGE_TOLERANCE > pattern.z1) {
      if (core_value >= pattern.n1) {
        // The pattern rises to (or stays at) the band's own core loudness.
        pattern.n1 = core_value;
        pattern.append(edge, core_value);
        step_hint = 0;
        continue;
      }
      // The pattern falls along the upper slope of its current height, down
      // to the next level step or the band's core loudness.
      const std::size_t j = level_step_below(pattern.n1, step_hint);
      step_hint = j;
      double n2 = core_value > LEVEL_STEPS[j] ? core_value : LEVEL_STEPS[j];
      const double slope = UPPER_SLOPES[j][g];
      double z2 = pattern.z1 + (pattern.n1 - n2) / slope;
      if (z2 > edge) {
        n2 = pattern.n1 - (edge - pattern.z1) * slope;
        z2 = edge;
      }
      pattern.append(z2, n2);
    }
  }
  if (out != nullptr) {
    for (std::size_t n = pattern.next; n < SPECIFIC_LOUDNESS_LENGTH; ++n) out[n] = 0.0;
  }
  return pattern.total;
}

}  // namespace

double specific_loudness_from_core(const double* core, double* out) noexcept {
  return pattern_from_core(core, out);
}

double total_loudness_from_core(const double* core) noexcept {
  return pattern_from_core(core, nullptr);
}

}  // namespace varnholt
