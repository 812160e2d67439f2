// The smoother of the tonality's frame series.
#pragma once

#include <cstddef>

namespace varnholt {

// Third-order recursive low-pass with three coincident real poles and unit
// gain at DC, run in place over `count` values from zero state. The output
// lags by one frame, so the first value becomes 0.
void ecma_lowpass3(double* series, std::size_t count) noexcept;

}  // namespace varnholt
