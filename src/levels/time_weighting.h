// The exponential time weightings F and S of sound level meters: a running
// mean of the squared pressure with time constant tau.
#pragma once

#include <cmath>

namespace varnholt {

inline constexpr double TIME_CONSTANT_F_S = 0.125;
inline constexpr double TIME_CONSTANT_S_S = 1.0;

// y[n] = y[n-1] + alpha (x[n]^2 - y[n-1]) with alpha = 1 - exp(-1 / (tau fs)):
// the sampled solution of tau dy/dt = x^2 - y for a square held over each
// sample, so after the sound stops y falls by exactly 10 lg(e) / tau dB per
// second (34.7 dB/s for F, 4.3 dB/s for S). Starts at 0.
class TimeWeighting {
 public:
  TimeWeighting(double time_constant_s, double rate_hz) noexcept
      : alpha_(-std::expm1(-1.0 / (time_constant_s * rate_hz))) {}

  double step(double square) noexcept {
    mean_square_ += alpha_ * (square - mean_square_);
    return mean_square_;
  }

 private:
  double alpha_;
  double mean_square_ = 0.0;
};

}  // namespace varnholt
