#include "loudness/smoothed_band_powers.h"

#include <algorithm>
#include <cmath>

#include "core/physical_constants.h"
#include "core/wide_vectors.h"

namespace varnholt {
namespace {

// Centre frequency from which on the smoothing keeps one time constant.
constexpr double SMOOTHING_CORNER_HZ = 1000.0;

// One sample of the bank and the three low-passes, for every band.
VARNHOLT_INLINE_BODY void smooth_squares(const double* __restrict y, const double* __restrict c,
                                         const double* __restrict one_minus_c,
                                         double* __restrict s0, double* __restrict s1,
                                         double* __restrict s2) noexcept {
  for (std::size_t k = 0; k < THIRD_OCTAVE_BAND_COUNT; ++k) {
    const double p = y[k] * y[k];
    s0[k] = c[k] * s0[k] + one_minus_c[k] * p;
    s1[k] = c[k] * s1[k] + one_minus_c[k] * s0[k];
    s2[k] = one_minus_c[k] * s1[k] + c[k] * s2[k];
  }
}

// `count` samples through the bank and the low-passes: the body of both copies.
VARNHOLT_INLINE_BODY void filter_and_smooth(ThirdOctaveBankState& bank, const double* samples,
                                            std::size_t count, const double* c,
                                            const double* one_minus_c, double* s0, double* s1,
                                            double* s2) noexcept {
  for (std::size_t i = 0; i < count; ++i) {
    double y[THIRD_OCTAVE_BAND_COUNT];
    bank.step(samples[i], y);
    smooth_squares(y, c, one_minus_c, s0, s1, s2);
  }
}

}  // namespace

SmoothedBandPowers::SmoothedBandPowers() noexcept {
  for (std::size_t k = 0; k < THIRD_OCTAVE_BAND_COUNT; ++k) {
    const double f =
        std::min(SMOOTHING_CORNER_HZ * std::pow(10.0, (static_cast<double>(k) - 16.0) / 10.0),
                 SMOOTHING_CORNER_HZ);
    const double tau = 2.0 / (3.0 * f);
    c_[k] = std::exp(-1.0 / (SAMPLE_RATE_HZ * tau));
    one_minus_c_[k] = 1.0 - c_[k];
  }
}

void SmoothedBandPowers::push(const double* samples, std::size_t count) noexcept {
  if (wide_vectors_available()) {
    push_wide(samples, count);
  } else {
    push_baseline(samples, count);
  }
}

void SmoothedBandPowers::push_baseline(const double* samples, std::size_t count) noexcept {
  filter_and_smooth(bank_, samples, count, c_, one_minus_c_, s0_, s1_, s2_);
}

VARNHOLT_WIDE_TARGET void SmoothedBandPowers::push_wide(const double* samples,
                                                        std::size_t count) noexcept {
  filter_and_smooth(bank_, samples, count, c_, one_minus_c_, s0_, s1_, s2_);
}

// With weights in (0, 1) an infinite or NaN square makes s0, s1 and s2 of its
// band infinite or NaN in the same step, and nothing brings them back, so the
// last smoothed powers hold the verdict on every square before them. (Finite
// squares within a few units in the last place of the largest double could
// also round the sums over; their levels would be infinite anyway.)
bool SmoothedBandPowers::all_finite() const noexcept {
  double marks = 0.0;
  for (const double p : s2_) marks += p * 0.0;  // 0 for a finite p, NaN otherwise
  return marks == 0.0;
}

}  // namespace varnholt
