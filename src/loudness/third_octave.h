// Digital third-octave filter bank at 48 kHz (25 Hz to 12.5 kHz, 28 bands) and
// the band levels it yields, in dB re (2e-5 Pa)^2.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/axes.h"
#include "loudness/third_octave_bank.h"
#include "varnholt.h"

namespace varnholt {

// Mean square of the level reference (2e-5 Pa)^2, in Pa^2, as a decimal:
// squaring the reference pressure in double rounds to 4.0000000000000007e-10.
inline constexpr double LEVEL_REFERENCE_PA2 = 4e-10;

// Shortest signal or block the band levels are formed from.
inline constexpr std::uint64_t THIRD_OCTAVE_MIN_COUNT = 256;

// Mean square in Pa^2 added before the logarithm, so a silent band reads
// -26.0206 dB instead of minus infinity.
inline constexpr double BAND_LEVEL_FLOOR = 1e-12;

// Band level in dB re (2e-5 Pa)^2 of a mean square in Pa^2.
double third_octave_level_from_mean_square(double mean_square) noexcept;

// The squared outputs of the bank summed per band over a stream of samples:
// the filters run over every sample, the squares count from sample
// `settle_count` on. All bands advance together while each band sees exactly
// the operations of its own pass over the signal.
class BandPowerSums {
 public:
  explicit BandPowerSums(std::uint64_t settle_count) noexcept : settle_count_(settle_count) {}

  void push(std::span<const double> samples) noexcept;

  // A running sum of squares only grows, and once infinite or NaN it never
  // becomes finite again: testing it at any later point gives the verdict of
  // every sample before.
  bool finite() const noexcept;

  std::uint64_t count() const noexcept { return count_; }

  // Levels of the mean squares over the count - settle_count summed samples
  // into out[28]; count() must exceed settle_count.
  void levels(double* out) const noexcept;

 private:
  ThirdOctaveBankState bank_;
  std::array<double, THIRD_OCTAVE_BAND_COUNT> sums_{};
  std::uint64_t count_ = 0;
  std::uint64_t settle_count_;
};

// Levels of a whole signal of count >= 256 samples into out[28], every band
// starting from a zero state. VH_ERR_NUMERICAL (out untouched) when a running
// sum of squares stops being finite.
vh_status third_octave_signal_levels(const double* samples, std::uint64_t count,
                                     double* out) noexcept;

// Levels of a block into out[28]: the filters run over all count samples but
// only the squares from index settle_count on are averaged. Checks in order:
// samples or out null -> VH_ERR_NULL_POINTER; count < 256 ->
// VH_ERR_INPUT_TOO_SHORT; settle_count >= count -> VH_ERR_INVALID_ARGUMENT;
// a non-finite running sum -> VH_ERR_NUMERICAL. The samples are assumed
// finite; out is written only on VH_OK.
vh_status third_octave_block_levels(const double* samples, std::uint64_t count,
                                    std::uint64_t settle_count, double* out) noexcept;

}  // namespace varnholt
