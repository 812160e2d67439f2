// The sound level meter: weighting filters, time weightings and the sums
// behind each level.
#include "levels/sound_levels.h"

#include <algorithm>
#include <cmath>

#include "core/boundary.h"
#include "core/checks.h"

namespace varnholt {
namespace {

constexpr double RATE_HZ = VH_SAMPLE_RATE;
constexpr double REFERENCE_PA2 = 4e-10;  // (20 uPa)^2

double level_db(double mean_square_pa2) {
  return 10.0 * std::log10((mean_square_pa2 + SOUND_LEVEL_FLOOR_PA2) / REFERENCE_PA2);
}

}  // namespace

SoundLevelMeter::SoundLevelMeter() noexcept
    : a_filter_(FrequencyWeighting::a),
      c_filter_(FrequencyWeighting::c),
      fast_(TIME_CONSTANT_F_S, RATE_HZ),
      slow_(TIME_CONSTANT_S_S, RATE_HZ) {}

void SoundLevelMeter::push(std::span<const double> samples) noexcept {
  // Local copies of the state: nothing else can reach them inside the loop,
  // so they stay in registers.
  WeightingFilter a_filter = a_filter_, c_filter = c_filter_;
  TimeWeighting fast = fast_, slow = slow_;
  double sum_a = sum_a_, sum_c = sum_c_, sum_z = sum_z_;
  double max_fast = max_fast_, max_slow = max_slow_, peak_c = peak_c_;
  for (const double z : samples) {
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
  a_filter_ = a_filter, c_filter_ = c_filter;
  fast_ = fast, slow_ = slow;
  sum_a_ = sum_a, sum_c_ = sum_c, sum_z_ = sum_z;
  max_fast_ = max_fast, max_slow_ = max_slow, peak_c_ = peak_c;
  count_ += samples.size();
}

vh_status SoundLevelMeter::levels(double* out) const noexcept {
  const double n = static_cast<double>(count_);
  double levels[VH_SOUND_LEVEL_COUNT];
  levels[VH_LEVEL_LAEQ] = level_db(sum_a_ / n);
  levels[VH_LEVEL_LCEQ] = level_db(sum_c_ / n);
  levels[VH_LEVEL_LZEQ] = level_db(sum_z_ / n);
  levels[VH_LEVEL_LAFMAX] = level_db(max_fast_);
  levels[VH_LEVEL_LASMAX] = level_db(max_slow_);
  levels[VH_LEVEL_LCPEAK] = level_db(peak_c_ * peak_c_);
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
    SoundLevelMeter meter;
    meter.push(std::span<const double>(samples, count));
    return meter.levels(levels);
  });
}
