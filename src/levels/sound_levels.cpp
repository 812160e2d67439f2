// One pass over the signal through the A and C weighting filters; the
// squared weighted pressures feed the sums of the Leq, the F and S time
// weightings and the C peak.
#include "levels/sound_levels.h"

#include <algorithm>
#include <cmath>

#include "core/boundary.h"
#include "core/checks.h"
#include "levels/frequency_weighting.h"
#include "levels/time_weighting.h"

namespace varnholt {
namespace {

constexpr double RATE_HZ = VH_SAMPLE_RATE;
constexpr double REFERENCE_PA2 = 4e-10;  // (20 uPa)^2

double level_db(double mean_square_pa2) {
  return 10.0 * std::log10((mean_square_pa2 + SOUND_LEVEL_FLOOR_PA2) / REFERENCE_PA2);
}

}  // namespace

vh_status sound_levels(const double* samples, std::uint64_t count, double* out) noexcept {
  WeightingFilter a_filter(FrequencyWeighting::a);
  WeightingFilter c_filter(FrequencyWeighting::c);
  TimeWeighting fast(TIME_CONSTANT_F_S, RATE_HZ);
  TimeWeighting slow(TIME_CONSTANT_S_S, RATE_HZ);
  double sum_a = 0.0, sum_c = 0.0, sum_z = 0.0;
  double max_fast = 0.0, max_slow = 0.0, peak_c = 0.0;
  for (std::uint64_t i = 0; i < count; ++i) {
    const double z = samples[i];
    const double a = a_filter.step(z);
    const double c = c_filter.step(z);
    const double a2 = a * a;
    sum_a += a2;
    sum_c += c * c;
    sum_z += z * z;
    max_fast = std::max(max_fast, fast.step(a2));
    max_slow = std::max(max_slow, slow.step(a2));
    peak_c = std::max(peak_c, std::fabs(c));
  }
  const double n = static_cast<double>(count);
  double levels[VH_SOUND_LEVEL_COUNT];
  levels[VH_LEVEL_LAEQ] = level_db(sum_a / n);
  levels[VH_LEVEL_LCEQ] = level_db(sum_c / n);
  levels[VH_LEVEL_LZEQ] = level_db(sum_z / n);
  levels[VH_LEVEL_LAFMAX] = level_db(max_fast);
  levels[VH_LEVEL_LASMAX] = level_db(max_slow);
  levels[VH_LEVEL_LCPEAK] = level_db(peak_c * peak_c);
  for (double level : levels) {
    if (!is_finite_value(level)) return VH_ERR_NUMERICAL;
  }
  std::copy(levels, levels + VH_SOUND_LEVEL_COUNT, out);
  return VH_OK;
}

}  // namespace varnholt

extern "C" VH_EXPORT vh_status vh_sound_levels(const double* samples, size_t count,
                                               int32_t sample_rate, double* levels,
                                               size_t levels_len) {
  using namespace varnholt;
  return guarded_call([&]() -> vh_status {
    if (levels == nullptr) return VH_ERR_NULL_POINTER;
    if (levels_len < VH_SOUND_LEVEL_COUNT) return VH_ERR_OUTPUT_TOO_SMALL;
    const vh_status signal_status = validate_signal(samples, count, sample_rate);
    if (signal_status != VH_OK) return signal_status;
    return sound_levels(samples, count, levels);
  });
}
