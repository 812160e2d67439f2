// Three cascaded one-pole smoothers as one recursion,
// H(z) = (b1 z^-1 + b2 z^-2) / (1 - a z^-1)^3.
#include "ecma/tonality/lowpass3.h"

#include <cmath>

namespace varnholt {
namespace {

// Pole of each stage for the 187.5 Hz frame rate.
double stage_pole() noexcept { return std::exp(-0.19911111111111113); }

}  // namespace

TonalSmoother::TonalSmoother() noexcept {
  const double a = stage_pole();
  // b1 + b2 = (1 - a)^3 makes the gain at DC exactly 1.
  b1_ = std::pow(1.0 - a, 3.0) * a / (a * a + a);
  b2_ = b1_ * a;
  a1_ = 3.0 * a;
  a2_ = 3.0 * (a * a);
  a3_ = a * a * a;
}

void ecma_lowpass3(double* series, std::size_t count) noexcept {
  TonalSmoother smoother;
  for (std::size_t k = 0; k < count; ++k) series[k] = smoother.step(series[k]);
}

}  // namespace varnholt
