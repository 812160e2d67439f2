// Shape-preserving cubic interpolation of the block roughness onto the 50 Hz
// output frames.
#pragma once

#include <cstdint>

namespace varnholt {

// Slope at the end of a series from its two end intervals (widths h0, h1 and
// secants d0, d1, h0 and d0 at the end): the three-point estimate, set to 0
// when it points against d0, and limited to 3 * d0 when the data turn.
double pchip_end_slope(double h0, double h1, double d0, double d1) noexcept;

// Slope at an inner point from the widths and secants of the intervals to its
// left and right: their weighted harmonic mean, 0 at a local extremum.
double pchip_inner_slope(double h_left, double h_right, double d_left, double d_right) noexcept;

// The cubic Hermite curve through (t0, y0) and (t1, y1) with slopes s0 and
// s1, evaluated at tau and clipped at 0.
double pchip_value(double tau, double t0, double t1, double y0, double y1, double s0,
                   double s1) noexcept;

// Resamples the block roughness (blocks x 53 bands, block-major) given at the
// strictly increasing times (seconds, times[0] = 0, blocks >= 3, frames / 50 s
// at most times[blocks - 1]) onto the frame times k / 50 s, k = 0 ... frames - 1,
// band by band with monotone piecewise cubic Hermite interpolation, clipped at
// 0. Writes frames x 53 values, frame-major, to out. `slopes` holds `blocks`
// doubles of scratch.
void pchip_resample(const double* block_roughness, const double* times, std::uint64_t blocks,
                    std::uint64_t frames, double* slopes, double* out) noexcept;

}  // namespace varnholt
