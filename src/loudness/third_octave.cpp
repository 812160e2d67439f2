// Third-octave filter bank at 48 kHz and the band levels of a signal or block:
// each band is a cascade of three biquads (a sixth-order band-pass), whose
// output power is averaged and expressed in dB re (2e-5 Pa)^2.
#include "loudness/third_octave.h"

#include <cmath>

#include "core/checks.h"

namespace varnholt {

double third_octave_level_from_mean_square(double mean_square) noexcept {
  return 10.0 * (std::log10(mean_square + BAND_LEVEL_FLOOR) - std::log10(LEVEL_REFERENCE_PA2));
}

void BandPowerSums::push(std::span<const double> samples) noexcept {
  // The loops run on local copies of the state: with nothing else able to
  // reach them, the compiler keeps them out of memory and vectorises the bands.
  ThirdOctaveBankState bank = bank_;
  std::array<double, THIRD_OCTAVE_BAND_COUNT> sums = sums_;
  // The settling samples only run the filters; the rest also add their squares.
  const std::uint64_t unsettled = count_ < settle_count_ ? settle_count_ - count_ : 0;
  const std::size_t settling =
      unsettled < samples.size() ? static_cast<std::size_t>(unsettled) : samples.size();
  for (const double x : samples.first(settling)) bank.settle(x);
  for (const double x : samples.subspan(settling)) bank.step_and_sum_squares(x, sums.data());
  bank_ = bank;
  sums_ = sums;
  count_ += samples.size();
}

bool BandPowerSums::finite() const noexcept {
  for (const double sum : sums_) {
    if (!is_finite_value(sum)) return false;
  }
  return true;
}

void BandPowerSums::levels(double* out) const noexcept {
  const double n = static_cast<double>(count_ - settle_count_);
  for (std::size_t k = 0; k < THIRD_OCTAVE_BAND_COUNT; ++k) {
    out[k] = third_octave_level_from_mean_square(sums_[k] / n);
  }
}

namespace {

vh_status band_levels(const double* samples, std::uint64_t count, std::uint64_t settle_count,
                      double* out) noexcept {
  BandPowerSums sums(settle_count);
  // Testing the sums after each chunk instead of each sample gives the same
  // verdict and stops an overflowing signal early.
  constexpr std::uint64_t CHUNK = 4096;
  for (std::uint64_t start = 0; start < count; start += CHUNK) {
    const std::uint64_t length = count - start < CHUNK ? count - start : CHUNK;
    sums.push(std::span<const double>(samples + start, length));
    if (!sums.finite()) return VH_ERR_NUMERICAL;
  }
  sums.levels(out);
  return VH_OK;
}

}  // namespace

vh_status third_octave_signal_levels(const double* samples, std::uint64_t count,
                                     double* out) noexcept {
  return band_levels(samples, count, 0, out);
}

vh_status third_octave_block_levels(const double* samples, std::uint64_t count,
                                    std::uint64_t settle_count, double* out) noexcept {
  if (samples == nullptr || out == nullptr) return VH_ERR_NULL_POINTER;
  if (count < THIRD_OCTAVE_MIN_COUNT) return VH_ERR_INPUT_TOO_SHORT;
  if (settle_count >= count) return VH_ERR_INVALID_ARGUMENT;
  return band_levels(samples, count, settle_count, out);
}

}  // namespace varnholt
