// Three cascaded one-pole smoothers as one recursion,
// H(z) = (b1 z^-1 + b2 z^-2) / (1 - a z^-1)^3.
#include "ecma/tonality/lowpass3.h"

#include <cmath>

namespace varnholt {

void ecma_lowpass3(double* series, std::size_t count) noexcept {
  // Pole of each stage for the 187.5 Hz frame rate.
  const double a = std::exp(-0.19911111111111113);
  // b1 + b2 = (1 - a)^3 makes the gain at DC exactly 1.
  const double b1 = std::pow(1.0 - a, 3.0) * a / (a * a + a);
  const double b2 = b1 * a;
  const double a1 = 3.0 * a;
  const double a2 = 3.0 * (a * a);
  const double a3 = a * a * a;
  double s0 = 0.0, s1 = 0.0, s2 = 0.0;
  for (std::size_t k = 0; k < count; ++k) {
    const double x = series[k];
    const double y = s0;
    s0 = b1 * x + a1 * y + s1;
    s1 = b2 * x - a2 * y + s2;
    s2 = a3 * y;
    series[k] = y;
  }
}

}  // namespace varnholt
