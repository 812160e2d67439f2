// The single-number levels of a sound level meter after IEC 61672-1: Leq with
// A, C and Z weighting, LAFmax, LASmax and LCpeak, over a signal fed in
// chunks of any size.
#pragma once

#include <cstdint>
#include <span>

#include "levels/frequency_weighting.h"
#include "levels/time_weighting.h"
#include "varnholt.h"

namespace varnholt {

// Mean square added to every level's argument, in Pa^2: the same floor as
// the band levels, so silence reads -26.0206 dB.
inline constexpr double SOUND_LEVEL_FLOOR_PA2 = 1e-12;

// One pass over the signal through the A and C weighting filters; the squared
// weighted pressures feed the sums of the Leq, the F and S time weightings and
// the C peak. Every sum runs over the samples in order, so the levels do not
// depend on how the signal was cut into chunks. Allocates nothing.
class SoundLevelMeter {
 public:
  SoundLevelMeter() noexcept;

  // Finite samples in Pa at 48 kHz.
  void push(std::span<const double> samples) noexcept;
  std::uint64_t count() const noexcept { return count_; }
  // Levels in dB re 20 uPa of the count() >= 1 samples so far into
  // out[VH_SOUND_LEVEL_COUNT], ordered by the VH_LEVEL_ indices.
  // VH_ERR_NUMERICAL (out untouched) when a level is not finite.
  vh_status levels(double* out) const noexcept;

 private:
  WeightingFilter a_filter_;
  WeightingFilter c_filter_;
  TimeWeighting fast_;
  TimeWeighting slow_;
  double sum_a_ = 0.0, sum_c_ = 0.0, sum_z_ = 0.0;
  double max_fast_ = 0.0, max_slow_ = 0.0, peak_c_ = 0.0;
  std::uint64_t count_ = 0;
};

}  // namespace varnholt
