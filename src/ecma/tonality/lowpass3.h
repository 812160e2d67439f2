// The smoother of the tonality's frame series.
#pragma once

#include <cstddef>

namespace varnholt {

// Third-order recursive low-pass with three coincident real poles and unit
// gain at DC, from zero state, one value at a time. The output lags by one
// frame, so the first value becomes 0.
class TonalSmoother {
 public:
  TonalSmoother() noexcept;
  double step(double x) noexcept {
    const double y = s0_;
    s0_ = b1_ * x + a1_ * y + s1_;
    s1_ = b2_ * x - a2_ * y + s2_;
    s2_ = a3_ * y;
    return y;
  }

 private:
  double b1_, b2_, a1_, a2_, a3_;
  double s0_ = 0.0, s1_ = 0.0, s2_ = 0.0;
};

// The smoother run in place over `count` values.
void ecma_lowpass3(double* series, std::size_t count) noexcept;

}  // namespace varnholt
