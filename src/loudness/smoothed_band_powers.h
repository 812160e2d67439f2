// The smoothed power of every third-octave band at 48 kHz, the front end of
// time-varying loudness: the filter bank's outputs are squared and passed
// through three first-order low-passes in series.
#pragma once

#include <cstddef>

#include "core/axes.h"
#include "loudness/third_octave_bank.h"

namespace varnholt {

// Per band, the time constant 2 / (3 f), two thirds of a period of the band's
// centre frequency, removes the ripple of the band's power in the low bands;
// from 1 kHz up it stays at 0.67 ms. Zero at the start of a signal.
//
// Every per-band array spans 28 doubles, a whole number of 32-byte vectors,
// so with the object on a 32-byte boundary no four-lane load or store of the
// per-sample loop straddles two cache lines.
class alignas(32) SmoothedBandPowers {
 public:
  SmoothedBandPowers() noexcept;

  // Filters, squares and smooths `count` samples, with the AVX2 copy of the
  // loop where the processor has it.
  void push(const double* samples, std::size_t count) noexcept;

  // push() with two bands to a register, and with four (only where the
  // processor runs AVX2): bit-identical.
  void push_baseline(const double* samples, std::size_t count) noexcept;
  void push_wide(const double* samples, std::size_t count) noexcept;

  // The smoothed powers of the 28 bands after the last sample pushed.
  const double* smoothed() const noexcept { return s2_; }

  // False once any band has seen a square that is not finite.
  bool all_finite() const noexcept;

 private:
  ThirdOctaveBankState bank_;
  double c_[THIRD_OCTAVE_BAND_COUNT];
  double one_minus_c_[THIRD_OCTAVE_BAND_COUNT];
  double s0_[THIRD_OCTAVE_BAND_COUNT] = {};
  double s1_[THIRD_OCTAVE_BAND_COUNT] = {};
  double s2_[THIRD_OCTAVE_BAND_COUNT] = {};
};

}  // namespace varnholt
